#pragma once

#include "Widgets/title/ktitlestrip.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>

class KPlatform;

// A small frameless window that slides in at the lower-right corner of the screen, one pixel a
// millisecond, stays a while and fades out unless the mouse is over it. It can be dragged.
class KMoveWidget : public QWidget
{
    Q_OBJECT

public:
    // `platform` tells the time it was shown.
    explicit KMoveWidget(KPlatform* platform, QWidget* parent = nullptr);

    // How long the window stays before fading, in milliseconds; -1 keeps it until it is closed.
    void setHideDelay(int msecs);
    int hideDelay() const { return m_hideDelay; }
    bool autoHide() const { return m_autoHide; }

    // Shows the window just right of the work area and starts sliding it in.
    void slideIn();

    static constexpr int DefaultHideDelayMs = 5000;

private slots:
    void onAnimateTimerTimeout();
    void onHideTimerTimeout();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void applyOpacity(double opacity);
    void startHideDelay();

    KPlatform* const m_platform;
    int m_targetX = 0;
    int m_targetY = 0;
    double m_opacity = 1.0;
    int m_hideDelay = DefaultHideDelayMs;
    QTimer m_animateTimer; // moves the window while it slides in
    QTimer m_hideDelayTimer; // single shot: the wait before fading
    QTimer m_hideTimer; // fades the window out step by step
    bool m_autoHide = true;
    KTitleStrip::Drag m_drag;
    bool m_mouseInside = false;
    QDateTime m_shownAt;

    Q_DISABLE_COPY(KMoveWidget)
};
