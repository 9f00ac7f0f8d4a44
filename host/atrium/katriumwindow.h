#pragma once

#include "Widgets/main/atriummsgframe.h"
#include "platform/knativemessage.h"

class QLabel;
class QMenu;
class QPlainTextEdit;

// The stand-in host's own window. It carries "ATRIUM_MAIN_FRAME", shows what the plug-in posts
// to it (the number of backups made and whether protection is on) and, from its menu, sends the
// plug-in the messages the host and its sibling programs send.
class KAtriumWindow : public AtriumMsgFrame
{
    Q_OBJECT

public:
    // `skinFolder` holds the host's skins, one folder each.
    KAtriumWindow(const QString& pluginPath, const QString& skinFolder, QWidget* parent = nullptr);

    // Takes the host's window property; false when another live host has it or the message
    // folder cannot be used, with what is wrong in `error`.
    bool claimHostProperty(QString* error);

    // What the plug-in posted last; -1 until it has.
    int totalBackups() const { return m_totalBackups; }
    int protection() const { return m_protection; }

    // Asks the host that runs already, if any, to show the plug-in's window: true when a live
    // host took the message.
    static bool activateRunningHost();

    // Posts `message` to the plug-in's window; `what` names it in the log.
    void postToPlugin(UINT message, WPARAM wParam, const QString& what);

    // Sends copy-data to the plug-in's window from a thread of its own, since the plug-in
    // answers on this one; the answer is logged. `what` names the message in the log.
    void sendCopyDataToPlugin(ULONG_PTR id, const QByteArray& block, const QString& what);

signals:
    void sigTotalBackups(int total);
    // A state the plug-in posted: `which` is one of AtriumMessage's State values.
    void sigPluginState(quintptr which, qintptr value);
    // Another start of the program asked for the plug-in's window.
    void sigActivateRequested();
    // The window is closing: the host lets the plug-in go and ends.
    void sigClosing();

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu(QMenu* menu);
    void showFileVersions();
    void postTo(const char* property, UINT message, WPARAM wParam, const QString& what);
    void changeSkin(const QString& skin);
    void log(const QString& line);
    void updateTitle();

    const QString m_skinFolder;
    QLabel* m_totalLabel;
    QLabel* m_protectionLabel;
    QPlainTextEdit* m_log;
    int m_totalBackups = -1;
    int m_protection = -1;

    Q_DISABLE_COPY(KAtriumWindow)
};
