#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;
class QWidget;

// Photographs the plug-in's window, as the display shows it: its three pages (the mis-edit page
// with a search when one is set) and, when asked, dialogs of the plug-in. Each picture is the part of the
// screen the window covers, written as PNG into a folder. The host starts the tour once the plug-in has
// reported its first cycle, and ends when it finishes.
class KScreenshotTour : public QObject
{
    Q_OBJECT

public:
    KScreenshotTour(QWidget* frame, const QString& folder, QObject* parent = nullptr);

    // Opens a dialog and gives the reason when it cannot.
    using Opener = std::function<QString()>;
    // Adds a picture of the dialog of the class `className` that `open` brings up, which is then
    // rejected, unless it is to stay open for a dialog it opens in turn (closeDialog() closes it).
    enum class After
    {
        Reject,
        KeepOpen
    };
    void addDialog(
        const char* className, const QString& picture, const Opener& open, After after = After::Reject);
    void closeDialog(const char* className);
    // Typed into the mis-edit page's search field before its picture, and cleared after it.
    void setMisCodeSearch(const QString& text) { m_misCodeSearch = text; }

    // The visible button `name` of the visible window of the class `className`, clicked once the
    // event loop runs (a dialog it opens runs its own loop, in which the tour goes on).
    static QString clickLater(const char* className, const QString& name);
    // Adds a picture of the comparison of the oldest version in the version dialog that `open`
    // brings up with the file as it is, once the comparison shows its result.
    void addComparison(const QString& picture, const Opener& open);

    void start();
    // The pictures written so far.
    QStringList written() const { return m_written; }

    // How long a page or a dialog may take to appear.
    static constexpr int AppearTimeoutMs = 30000;

signals:
    // `error` is empty when every picture was written.
    void finished(const QString& error);

private:
    using Step = std::function<void()>;
    void then(Step step);
    // A step that runs `open`, failing the tour with its reason.
    void thenOpen(const Opener& open);
    void next();
    void fail(const QString& error);
    // A step that waits `msecs`, so that what was just asked for is painted.
    void settle(int msecs);
    void selectPage(int index);
    void search(const QString& text);
    void shoot(QWidget* window, const QString& name);
    // Goes on once a top-level window of the class `className` shows.
    void waitForWindow(const char* className, bool visible = true);
    QWidget* visibleWindowOf(const char* className) const;
    // Goes on once `window` no longer says it is busy.
    void waitUntilDone(const char* className);

    QPointer<QWidget> m_frame;
    const QString m_folder;
    QList<Step> m_steps;
    QStringList m_written;
    QString m_misCodeSearch;
    bool m_failed = false;
};
