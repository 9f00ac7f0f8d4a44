#pragma once

#include "Widgets/tips/ktipwidget.h"
#include "service/kservices.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class KTipUserDialog;

// Decides when the plug-in's own small windows appear: the low-space tip and the
// folder-too-large tip at most once a day each, and the first-backup window. It relays what the
// user presses in them to the main window. They go to the desktop's notification server instead,
// with their buttons as actions, when one is there and the user has not said otherwise.
class KTipMsgManager : public QObject
{
    Q_OBJECT

public:
    explicit KTipMsgManager(const KServices& services, QObject* parent = nullptr);
    // Takes the windows and the notifications still open away.
    ~KTipMsgManager() override;

    // The backup drive has `size` bytes free, too few to back up; `driveWithSpace` has enough.
    // Shown at most once a day, and never without a drive to move to.
    void showCurrentDiskNotEnough(qlonglong size, const QString& driveWithSpace);
    // The backup folder takes `size` bytes, beyond the user's limit. At most once a day, and
    // only while the user wants to be reminded.
    void showBackedFolderTooLarge(qlonglong size);
    // The first backup has been made.
    void showTipUserDialog();
    // A recently used file of `size` bytes is larger than `limit` and is not versioned. The engine
    // says so once per file.
    void showFileTooLarge(const QString& path, qint64 size, qint64 limit);

    // The tips shown that are still open.
    QList<KTipWidget*> tips() const;
    // Deletes the tips and the first-backup window that are still open, and withdraws the
    // notifications: what their buttons do goes with the manager.
    void deleteWindows();

signals:
    void sigShowVaultkeep();
    void sigBackedTipStateChanged(int);
    void sigShowSetting();
    // A button of the low-space tip: 0 move to `drive`, 1 the settings, 2 ignore.
    void sigDiskFreeSizeNotEnoughTipMsgBtnClicked(int index, QString drive);
    // A button of the folder-too-large tip: 0 the clean-up, 1 the settings.
    void sigFolderToolLargeTipMsgBtnClicked(int);

public slots:
    void onDiskFreeSizeNotEnoughTipMsgBtnClicked(int index);

private:
    enum class Tip
    {
        LowSpace,
        FolderTooLarge,
        FileTooLarge,
        FirstBackup,
    };
    struct Sent
    {
        Tip tip;
        KTipContent content; // shown as a panel should the server not take it
        QString carried; // the drive a move would go to, or the file too large
    };

    KTipWidget* createTip();
    // Sends the tip as a notification when it can; else shows it as a panel (or window).
    void show(Tip tip, const KTipContent& content, const QString& carried = QString());
    void showPanel(Tip tip, const KTipContent& content, const QString& carried);
    void showFirstBackupWindow();
    // What a button of the tip does, pressed on the panel or in the notification.
    void pressed(Tip tip, int index, const QString& drive);
    void onNotificationAction(quint32 id, const QString& key);
    void onNotificationFailed(quint32 id);

    const KServices m_services;
    QList<QPointer<KTipWidget>> m_tips;
    QPointer<KTipUserDialog> m_userDialog;
    QHash<quint32, Sent> m_sent;

    Q_DISABLE_COPY(KTipMsgManager)
};
