#pragma once

#include <QPointer>
#include <QScopedPointer>
#include <QWidget>

class QPropertyAnimation;

namespace Ui {
class KHomeWidget;
}

// The first page of the main window: whether protection is on, with its switch; the number of
// backups made, of protected files and of deleted files found; the ways to the two other pages;
// and the backup drive's free space as a bar. The host hears the backup total and the switch's
// state.
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

signals:
    void sigShowMisCodeWidget();
    void sigShowDeletedWidget();
    void sigShowSettingDlg();

public slots:
    // The backup drive's root and its free and total space in MiB.
    void onSetDiskInfo(QString strDisk, double dwFreeSize, double dwTotalSize);

private slots:
    void onUpdateNumbers(int nTotalNumber, int nBackedNumber, int nDeletedNumber);
    // The switch: turns protection off or on, stores it and starts or stops the scanner.
    void onOpenClose();
    // Sets the state from outside: starts or stops the scanner, stores and traces nothing.
    void onSetOpenCloseType(int btnType);

private:
    void refreshOpenCloseView();
    void flowSentences();
    void postState() const;

    QScopedPointer<Ui::KHomeWidget> m_ui;
    int m_openCloseState = Open;
    QPointer<QPropertyAnimation> m_barAnimation;

    Q_DISABLE_COPY(KHomeWidget)
};
