#pragma once

// Helpers shared by the widget tests: real events sent straight to a widget, pictures painted
// for the test, and a way to answer a modal window from inside its event loop.

#include "ktestenvironment.h"

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

namespace KWidgetTest {

inline void sendMouse(
    QWidget* widget, QEvent::Type type, const QPoint& pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void press(QWidget* widget, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(widget, QEvent::MouseButtonPress, pos, button, button);
}

inline void release(QWidget* widget, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(widget, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

// A move with the left button held.
inline void drag(QWidget* widget, const QPoint& pos)
{
    sendMouse(widget, QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton);
}

inline void enter(QWidget* widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(widget->mapToGlobal(QPoint(1, 1))));
    QApplication::sendEvent(widget, &event);
}

inline void leave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

// A strip of equally wide frames, each filled with one colour, saved as PNG at `path`.
inline bool writeStrip(const QString& path, const QVector<QColor>& frames, int frameWidth, int height)
{
    QImage strip(frameWidth * frames.size(), height, QImage::Format_ARGB32);
    for (int x = 0; x < strip.width(); ++x) {
        for (int y = 0; y < height; ++y)
            strip.setPixel(x, y, frames.at(x / frameWidth).rgba());
    }
    return strip.save(path, "PNG");
}

// The descendant of `parent` named `name`; the test ends at once when there is none.
template<class T> T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// The top-level windows of class `Window`.
template<class Window> QList<Window*> windowsOf()
{
    QList<Window*> found;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (auto* wanted = qobject_cast<Window*>(window))
            found << wanted;
    }
    return found;
}

// Runs `act` with the modal window once one is shown (polling, as exec() starts its own loop).
// Should `act` fail to close it, the window is ended after a few seconds with result -99 (a
// dialog) or closed (a menu), so that a broken test fails instead of hanging.
inline void whenModalShown(const std::function<void(QWidget*)>& act)
{
    auto* poll = new QTimer;
    auto attempts = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, attempts] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            modal = QApplication::activePopupWidget();
        if (modal && modal->isVisible()) {
            poll->deleteLater();
            const QPointer<QWidget> shown = modal;
            act(modal);
            QTimer::singleShot(3000, [shown] {
                if (!shown || !shown->isVisible())
                    return;
                if (auto* dialog = qobject_cast<QDialog*>(shown.data()))
                    dialog->done(-99);
                else
                    shown->close();
            });
        } else if (++*attempts > 500) {
            poll->deleteLater();
        }
    });
    poll->start(10);
}

} // namespace KWidgetTest

// The engine's process-wide objects are static and write at exit; the fake machine is made static
// before them, so that it outlives them. The test class takes it in its constructor.
#define VK_WIDGET_TEST_MAIN(TestClass)                                                                       \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        static KTestEnvironment environment;                                                                 \
        TestClass test(&environment);                                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
