#pragma once

#include <QObject>
#include <QPointer>

class KFileServiceManager;
class KSystemTitle;
class QTabWidget;
class QWidget;

// What the main window does with the messages of the host and its sibling programs: its
// nativeEvent hands every event here first and runs the base handling for what is not handled.
// Each handled message leaves an automatic usage trace.
//
//   copy-data 27   bring to front on the mis-edit page, switch that page to the kind of the
//                  file (when it is a protected kind), then ask for the file's versions
//   copy-data 28   bring to front; other copy-data ids answer 1 and do nothing
//   2027           close (hide) the window; 2029 bring to front
//   2025           reload the skin of every title strip; 2054 bring to front on the deleted page
//   2055           back up now; 2056 turn protection on (wParam 1) or off (0)
class KHostMessageHandler : public QObject
{
    Q_OBJECT

public:
    // `window` is the main window, `tabs` its pages, `title` its own title strip.
    KHostMessageHandler(KFileServiceManager* engine, QWidget* window, QTabWidget* tabs, KSystemTitle* title,
        QObject* parent = nullptr);

    enum Page
    {
        NoPage = -1,
        HomePage = 0,
        MisCodePage = 1,
        DeletedPage = 2,
    };

    // True when the event was one of the messages above; `result` is then set for copy-data.
    bool handleNativeEvent(const QByteArray& eventType, void* message, long* result);

    // Shows the window (restored when minimised), selects `page` and brings it to the foreground.
    void bringToFront(int page = NoPage);

signals:
    // Connected to the mis-edit page through a queued connection, so that the versions open
    // once the page has switched to the file's kind.
    void sigShowFileVersionDlg(const QString& strFileName);
    // The quit message: the main window hides (onClose()).
    void sigClose();
    void sigBackUpNow();
    void sigSetProtection(bool on);

private:
    void changeSkin();

    KFileServiceManager* const m_engine;
    QPointer<QWidget> m_window;
    QPointer<QTabWidget> m_tabs;
    QPointer<KSystemTitle> m_title;

    Q_DISABLE_COPY(KHostMessageHandler)
};
