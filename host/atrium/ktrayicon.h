#pragma once

#include "ktraystate.h"
#include "platform/kautostart.h"
#include "platform/kinistore.h"

#include <QIcon>
#include <QObject>

#include <memory>

class KAtriumWindow;
class QAction;
class QMenu;
class QSystemTrayIcon;

// The application's icon in the desktop's tray (XEmbed or StatusNotifierItem, as Qt finds
// one): its picture and tooltip follow what the plug-in posts to the host's window; its menu
// opens the window, backs up at once, pauses or resumes protection, keeps the program in the
// tray when the window closes, starts it with the session, and quits.
//
// Keeping to the tray is the host's setting ("tray/keepRunning" in `settingsFile`, on unless
// turned off); starting with the session is the autostart entry itself.
class KTrayIcon : public QObject
{
    Q_OBJECT

public:
    KTrayIcon(
        KAtriumWindow* host, const QString& settingsFile, KAutostart autostart, QObject* parent = nullptr);
    ~KTrayIcon() override;

    // Closing the window leaves the program running: a tray shows the icon and the setting is on.
    bool keepsRunningWhenClosed() const;
    bool isAvailable() const;
    const KTrayState& state() const { return m_state; }
    QMenu* menu() const { return m_menu.get(); }

    // The tray's picture of `look`, painted over the application's icon.
    static QIcon iconFor(KTrayState::Look look);

signals:
    void quitRequested();

private:
    void onStateChanged();
    void setKeepRunning(bool on);
    void setStartWithSession(bool on);
    QAction* addAction(const QString& objectName, const QString& text);

    KAtriumWindow* const m_host;
    KIniStore m_settings;
    const KAutostart m_autostart;
    KTrayState m_state;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon;
    QAction* m_pause;
    QAction* m_keepRunning;
    QAction* m_startWithSession;
};
