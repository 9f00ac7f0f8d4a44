#pragma once

#include "Widgets/main/atriummsgframe.h"
#include "Widgets/main/khostmessagehandler.h"
#include "service/kservices.h"

#include <QScopedPointer>

class KTipMsgManager;
class QSizeGrip;
class QThread;
class QTimer;

namespace Ui {
class KMainWidget;
}

// The plug-in's one window: the title strip over three pages (home, mis-edit recovery, deleted
// files). Building it wires the pages, the tips, the dialogs, the engine and the worker threads
// together, starts the disk monitor and the scanner, and lets other programs find it by its
// window properties. Closing it only hides it; the module deletes it when it is released.
// It can be made larger than its designed size, from its lower right corner or the title strip's
// maximise button; the pages follow, and the settings file keeps the size for the next start.
class KMainWidget : public AtriumMsgFrame
{
    Q_OBJECT

public:
    // The window, made on first use.
    static KMainWidget* instance();
    // The window if it exists; never makes one.
    static KMainWidget* existingInstance();
    ~KMainWidget() override;

    // The first-backup window appears this long after the window was built, when it is due.
    static constexpr int TipUserDialogDelayMs = 6000;
    // The size is stored once the user has stopped resizing for this long.
    static constexpr int SizeSaveDelayMs = 1000;

signals:
    // For the host; the plug-in never emits it.
    void quit();
    void sigShowFileVersionDlg(QString strFileName);

public slots:
    void onShowDeletedWidget();
    void onShowMisCodeWidget();

private slots:
    void onShowHomeWidget();
    void onShowSettingDlg();
    // A button of the low-space tip: 0 moves the backups to `disk` at once, 1 opens the settings.
    void onDiskFreeSizeNotEnoughTipMsgBtnClicked(int index, const QString& disk);
    void onMoveFolderFinished();
    // A button of the folder-too-large tip: 0 the clean-up, 1 the settings.
    void onFolderToLargeTipMsgBtnClicked(int index);
    void onBackedFolderTooLarger(qlonglong size);
    void onShowCurrentDiskNoEnough(qlonglong lSize, const QString& strDiskEnough);
    void onShowMisCodeWidgetEx();
    void onCurrentChanged(int index);
    void onShowTipUserDlg();
    void onClose();
    // The first backup ever made shows its tip at once.
    void onBackupFinished(qlonglong finishedMSecs, int nCopied, int nFailed);
    void saveSize();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;

private:
    explicit KMainWidget(const KServices& services, QWidget* parent = nullptr);

    // Covers the pages with the move panel, and disables them and the title buttons until the
    // move has finished.
    void moveBackupFolder(QString oldPath, QString newPath);
    void applyWindowStyle();
    void startThreads();

    // The plug-in's own, handed down to every page and dialog.
    const KServices m_services;
    QScopedPointer<Ui::KMainWidget> m_ui;
    KHostMessageHandler* m_messages;
    KTipMsgManager* m_tips;
    QTimer* m_tipUserTimer = nullptr;
    QTimer* m_sizeSaveTimer;
    QSizeGrip* m_sizeGrip;
    // Backs up saved files between the cycles, on its own thread.
    QThread* m_saveWatchThread = nullptr;

    Q_DISABLE_COPY(KMainWidget)
};
