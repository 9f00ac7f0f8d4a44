#include "kscreenshottour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

namespace {

// Long enough for the home page's free-space bar to grow to its length.
constexpr int FirstSettleMs = 2500;
constexpr int SettleMs = 600;
constexpr int PollMs = 50;

} // namespace

KScreenshotTour::KScreenshotTour(QWidget* frame, const QString& folder, QObject* parent)
    : QObject(parent)
    , m_frame(frame)
    , m_folder(folder)
{
    settle(FirstSettleMs);
    const char* const names[] = { "home.png", "miscode.png", "deleted.png" };
    for (int page = 0; page < 3; ++page) {
        then([this, page] { selectPage(page); });
        if (page == 1)
            then([this] { search(m_misCodeSearch); });
        settle(SettleMs);
        const QString name = QString::fromLatin1(names[page]);
        then([this, name] {
            shoot(m_frame, name);
            next();
        });
        if (page == 1)
            then([this] { search(QString()); });
    }
}

void KScreenshotTour::search(const QString& text)
{
    const QWidget* page = m_frame ? m_frame->findChild<QWidget*>(QStringLiteral("miscodeWidget")) : nullptr;
    if (auto* field = page ? page->findChild<QLineEdit*>(QStringLiteral("editSearch")) : nullptr)
        field->setText(text);
    next();
}

QString KScreenshotTour::clickLater(const char* className, const QString& name)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (!window->isVisible() || qstrcmp(window->metaObject()->className(), className) != 0)
            continue;
        if (auto* button = window->findChild<QAbstractButton*>(name)) {
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
            return QString();
        }
    }
    return QStringLiteral("no %1 shows a button %2").arg(QString::fromLatin1(className), name);
}

void KScreenshotTour::closeDialog(const char* className)
{
    const QByteArray name(className);
    then([this, name] {
        if (QWidget* dialog = visibleWindowOf(name.constData()))
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        next();
    });
    then([this, name] { waitForWindow(name.constData(), false); });
    settle(SettleMs);
}

void KScreenshotTour::addDialog(
    const char* className, const QString& picture, const Opener& open, After after)
{
    thenOpen(open);
    const QByteArray name(className);
    then([this, name] { waitForWindow(name.constData()); });
    settle(SettleMs);
    then([this, name, picture] {
        shoot(visibleWindowOf(name.constData()), picture);
        next();
    });
    // The dialog's own event loop runs the steps while it is open; the tour goes on (and may end,
    // releasing the plug-in) only once that loop has returned.
    if (after == After::Reject)
        closeDialog(className);
}

void KScreenshotTour::addComparison(const QString& picture, const Opener& open)
{
    thenOpen(open);
    then([this] { waitForWindow("KFileVersionDlg"); });
    settle(SettleMs);
    then([this] {
        // The rows' compare links, newest version first.
        const QList<QObject*> links
            = visibleWindowOf("KFileVersionDlg")->findChildren<QObject*>(QStringLiteral("lblCompare"));
        if (links.isEmpty()) {
            fail(QStringLiteral("the version dialog has no compare link"));
            return;
        }
        QMetaObject::invokeMethod(links.constLast(), "clicked", Qt::QueuedConnection);
        next();
    });
    then([this] { waitForWindow("KCompareDialog"); });
    then([this] { waitUntilDone("KCompareDialog"); });
    settle(SettleMs);
    then([this, picture] {
        QWidget* view = visibleWindowOf("KCompareDialog");
        shoot(view, picture);
        view->close();
        next();
    });
    then([this] { waitForWindow("KCompareDialog", false); });
    then([this] {
        QMetaObject::invokeMethod(visibleWindowOf("KFileVersionDlg"), "reject", Qt::QueuedConnection);
        next();
    });
    then([this] { waitForWindow("KFileVersionDlg", false); });
    settle(SettleMs);
}

void KScreenshotTour::thenOpen(const Opener& open)
{
    then([this, open] {
        const QString failure = open();
        if (failure.isEmpty())
            next();
        else
            fail(failure);
    });
}

void KScreenshotTour::start()
{
    if (!QDir().mkpath(m_folder)) {
        fail(QStringLiteral("cannot create the folder %1").arg(m_folder));
        return;
    }
    // The pointer rests in a corner, so that nothing in the pictures shows as hovered.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        QCursor::setPos(screen, screen->geometry().bottomRight());
    next();
}

void KScreenshotTour::then(Step step)
{
    m_steps.append(std::move(step));
}

void KScreenshotTour::next()
{
    if (m_failed)
        return;
    if (m_steps.isEmpty()) {
        emit finished(QString());
        return;
    }
    const Step step = m_steps.takeFirst();
    // Each step runs from the event loop, so that what the last one asked for happens first.
    QTimer::singleShot(0, this, step);
}

void KScreenshotTour::fail(const QString& error)
{
    m_failed = true;
    m_steps.clear();
    emit finished(error);
}

void KScreenshotTour::settle(int msecs)
{
    then([this, msecs] { QTimer::singleShot(msecs, this, [this] { next(); }); });
}

void KScreenshotTour::selectPage(int index)
{
    auto* tabs = m_frame ? m_frame->findChild<QTabWidget*>(QStringLiteral("tabWidget")) : nullptr;
    if (!tabs) {
        fail(QStringLiteral("the plug-in's window has no tabs"));
        return;
    }
    m_frame->raise();
    tabs->setCurrentIndex(index);
    next();
}

void KScreenshotTour::shoot(QWidget* window, const QString& name)
{
    if (!window || !window->isVisible()) {
        fail(QStringLiteral("nothing to photograph for %1").arg(name));
        return;
    }
    const QRect area = window->frameGeometry();
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QPixmap picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = QDir(m_folder).filePath(name);
    if (picture.isNull() || !picture.save(path, "PNG")) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return;
    }
    m_written << path;
}

QWidget* KScreenshotTour::visibleWindowOf(const char* className) const
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->isVisible() && qstrcmp(window->metaObject()->className(), className) == 0)
            return window;
    }
    return nullptr;
}

void KScreenshotTour::waitUntilDone(const char* className)
{
    auto* poll = new QTimer(this);
    const QDeadlineTimer deadline(AppearTimeoutMs);
    const QByteArray name(className);
    connect(poll, &QTimer::timeout, this, [this, poll, deadline, name] {
        QWidget* window = visibleWindowOf(name.constData());
        if (window && !window->property("busy").toBool()) {
            poll->deleteLater();
            next();
        } else if (deadline.hasExpired()) {
            poll->deleteLater();
            fail(QStringLiteral("%1 was still busy after %2 s")
                     .arg(QString::fromLatin1(name))
                     .arg(AppearTimeoutMs / 1000));
        }
    });
    poll->start(PollMs);
}

void KScreenshotTour::waitForWindow(const char* className, bool visible)
{
    auto* poll = new QTimer(this);
    const QDeadlineTimer deadline(AppearTimeoutMs);
    const QByteArray name(className);
    connect(poll, &QTimer::timeout, this, [this, poll, deadline, name, visible] {
        if ((visibleWindowOf(name.constData()) != nullptr) == visible) {
            poll->deleteLater();
            next();
        } else if (deadline.hasExpired()) {
            poll->deleteLater();
            fail(QStringLiteral("%1 did not %2 within %3 s")
                     .arg(QString::fromLatin1(name),
                         visible ? QStringLiteral("appear") : QStringLiteral("close"))
                     .arg(AppearTimeoutMs / 1000));
        }
    });
    poll->start(PollMs);
}
