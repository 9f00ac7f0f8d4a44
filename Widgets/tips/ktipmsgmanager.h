#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class KTipUserDialog;
class KTipWidget;

// Decides when the plug-in's own small windows appear: the low-space tip and the
// folder-too-large tip at most once a day each, and the first-backup window. It relays what the
// user presses in them to the main window.
class KTipMsgManager : public QObject
{
    Q_OBJECT

public:
    explicit KTipMsgManager(QObject* parent = nullptr);
    ~KTipMsgManager() override;

    // The manager of the process.
    static KTipMsgManager* instance();

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
    // Deletes the tips and the first-backup window that are still open.
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
    KTipWidget* createTip();

    QList<QPointer<KTipWidget>> m_tips;
    QPointer<KTipUserDialog> m_userDialog;

    Q_DISABLE_COPY(KTipMsgManager)
};
