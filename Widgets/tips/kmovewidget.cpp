#include "Widgets/tips/kmovewidget.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "core/kcommon.h"
#include "platform/kplatform.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace {

QRect workArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

KMoveWidget::KMoveWidget(KPlatform* platform, QWidget* parent)
    : QWidget(parent)
    , m_platform(platform)
    , m_animateTimer(this)
    , m_hideDelayTimer(this)
    , m_hideTimer(this)
{
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::FramelessWindowHint);
    setWindowTitle(KCommon::productName());
    setMouseTracking(true);
    m_animateTimer.setObjectName(QStringLiteral("animateTimer"));
    m_animateTimer.setInterval(1);
    m_hideDelayTimer.setObjectName(QStringLiteral("hideDelayTimer"));
    m_hideDelayTimer.setSingleShot(true);
    m_hideTimer.setObjectName(QStringLiteral("hideTimer"));
    m_hideTimer.setInterval(100);
    connect(&m_animateTimer, &QTimer::timeout, this, &KMoveWidget::onAnimateTimerTimeout);
    connect(&m_hideDelayTimer, &QTimer::timeout, &m_hideTimer, qOverload<>(&QTimer::start));
    connect(&m_hideTimer, &QTimer::timeout, this, &KMoveWidget::onHideTimerTimeout);
}

void KMoveWidget::setHideDelay(int msecs)
{
    m_autoHide = msecs != -1;
    if (m_autoHide)
        m_hideDelay = msecs;
}

void KMoveWidget::slideIn()
{
    const QRect area = workArea();
    const int rightEdge = area.x() + area.width();
    m_targetX = rightEdge - width();
    m_targetY = area.y() + area.height() - height();
    move(rightEdge, m_targetY);
    show();
    activateWindow();
    setFocus();
    m_animateTimer.start();
    m_shownAt = m_platform->currentDateTime();
}

void KMoveWidget::onAnimateTimerTimeout()
{
    move(x() - 1, y());
    if (x() > m_targetX)
        return;
    m_animateTimer.stop();
    applyOpacity(1.0);
    if (m_autoHide)
        startHideDelay();
}

void KMoveWidget::onHideTimerTimeout()
{
    if (m_mouseInside) {
        m_hideTimer.stop();
        applyOpacity(1.0);
    } else if (m_opacity > 0) {
        // Four steps: 0.7, 0.4, 0.1, gone.
        applyOpacity(m_opacity - 0.3);
    } else {
        m_hideTimer.stop();
        const qint64 shown = m_shownAt.secsTo(m_platform->currentDateTime());
        // Closed rather than only hidden, so that a tip that deletes itself on closing goes.
        close();
        writeAutoTrace(QStringLiteral("冒泡窗口显示时间%1秒").arg(shown), QStringLiteral("右下角冒泡"),
            QStringLiteral("Vaultkeep"));
    }
}

void KMoveWidget::applyOpacity(double opacity)
{
    m_opacity = opacity;
    setWindowOpacity(qMax(0.0, opacity));
}

void KMoveWidget::startHideDelay()
{
    m_hideDelayTimer.start(m_hideDelay);
}

void KMoveWidget::enterEvent(QEvent* event)
{
    m_mouseInside = true;
    // Whatever fading or waiting was under way starts again when the mouse leaves.
    m_hideDelayTimer.stop();
    m_hideTimer.stop();
    applyOpacity(1.0);
    QWidget::enterEvent(event);
}

void KMoveWidget::leaveEvent(QEvent* event)
{
    m_mouseInside = false;
    if (m_autoHide)
        startHideDelay();
    QWidget::leaveEvent(event);
}

void KMoveWidget::mousePressEvent(QMouseEvent* event)
{
    m_mouseInside = true;
    m_drag.press(event);
    QWidget::mousePressEvent(event);
}

void KMoveWidget::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.release();
    QWidget::mouseReleaseEvent(event);
}

void KMoveWidget::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.move(this, event);
    QWidget::mouseMoveEvent(event);
}
