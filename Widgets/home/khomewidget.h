#pragma once

#include "offsite/koffsitetypes.h"
#include "service/kservices.h"

#include <QHash>
#include <QPointer>
#include <QScopedPointer>
#include <QWidget>

#include <array>

class KPlatform;
class QPropertyAnimation;
class QTimer;

namespace Ui {
class KHomeWidget;
}

// The first page of the main window: whether protection is on, with its switch; the number of
// backups made, of protected files and of deleted files found; the ways to the two other pages;
// the backup drive's free space as a bar; and what the backups are doing: a cycle's progress
// while it runs, else when the last one ended and the next is due, with a button that backs up
// at once. The host hears the backup total and the switch's state. The content keeps its
// designed arrangement, centred in a larger page, the free-space row at the bottom.
class KHomeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KHomeWidget(QWidget* parent = nullptr);
    ~KHomeWidget() override;

    enum OpenCloseState
    {
        Open = 0,
        Closed = 1,
    };
    int openCloseState() const { return m_openCloseState; }
    // The clock of the activity line and the home folder that names its drive; the page shows
    // no times without one.
    // Joins the page to the engine, the scanner and the drive monitor; once, before it is shown.
    void setServices(const KServices& services);

signals:
    void sigShowMisCodeWidget();
    void sigShowDeletedWidget();
    void sigShowSettingDlg();
    void sigBackUpNow();

public slots:
    // The backup drive's root and its free and total space in MiB.
    void onSetDiskInfo(QString strDisk, double dwFreeSize, double dwTotalSize);
    // Days until the backup drive is full at last week's growth, -1 when unknown; the line beside
    // the bar says it at the next onSetDiskInfo.
    void onDaysUntilFull(int days);
    // A cycle that backs up: it began, its progress, its end (times of the platform's clock).
    void onBackupStarted();
    void onBackupProgress(int nChecked, int nCopied);
    void onBackupFinished(qlonglong finishedMSecs, int nCopied, int nFailed);
    // When the next such cycle is due; -1 when none is.
    void onNextBackupAt(qlonglong msecs);
    void onRefreshActivity();
    // Turns protection on or off as the switch does, when it is not so already.
    void setProtection(bool on);
    // The backup folder's disk is short of room until a later cycle backs up without failing.
    void onDiskShortOfRoom();
    // The off-site line: its last copy, what it added and the next, or its trouble in words, and
    // a bar while it uploads; hidden while the copy is off.
    void onOffsiteStatus(const KOffsiteStatus& status);

private slots:
    void onUpdateNumbers(int nTotalNumber, int nBackedNumber, int nDeletedNumber);
    // The switch: turns protection off or on, stores it and starts or stops the scanner.
    void onOpenClose();
    // Sets the state from outside: starts or stops the scanner, stores and traces nothing.
    void onSetOpenCloseType(int btnType);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshOpenCloseView();
    void flowSentences();
    // Tells the host whether protection is on; and whether a cycle copies, when the last one
    // ended and what is wrong.
    void postState() const;
    void postActivity() const;
    void postOffsite() const;
    // Places the content for the page's size, from where the form put it for its own.
    void arrange();
    void refreshOffsite();

    QScopedPointer<Ui::KHomeWidget> m_ui;
    int m_openCloseState = Open;
    QPointer<QPropertyAnimation> m_barAnimation;
    int m_barWidth = -1; // where the bar's animation ends
    int m_daysUntilFull = -1;
    QHash<QWidget*, QRect> m_designed; // each child's place at the form's size
    KServices m_services;
    KPlatform* m_platform = nullptr;
    QTimer* m_activityTimer;
    bool m_backingUp = false;
    int m_checked = 0;
    int m_copied = 0;
    qint64 m_lastBackupAt = -1;
    qint64 m_nextBackupAt = -1;
    qintptr m_problems = 0; // AtriumMessage::ProblemBits
    KOffsiteStatus m_offsite;
    // What the host was last told of it (AtriumMessage::StateOffsite, its last upload and problem),
    // as the host assumes before anything is posted; only changes are posted.
    mutable std::array<qintptr, 3> m_offsitePosted { -1, -1, 0 };

    Q_DISABLE_COPY(KHomeWidget)
};
