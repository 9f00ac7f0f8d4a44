#include "Widgets/controls/kcustombutton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

KCustomButton::KCustomButton(QWidget* parent)
    : QPushButton(parent)
    , m_textColor(Qt::black)
{
    setFocusPolicy(Qt::NoFocus);
    setFlat(true);
    setAutoDefault(false);
}

KCustomButton::KCustomButton(const QString& picture, int frames, QWidget* parent)
    : QPushButton(parent)
    , m_textColor(Qt::white)
{
    setFlat(true);
    setAutoDefault(false);
    if (!picture.isEmpty())
        setPicName(picture, frames);
}

void KCustomButton::setPicName(const QString& picture, int frames)
{
    if (picture.isEmpty()) {
        m_strip.clear();
    } else {
        m_strip.load(picture, frames);
        ensurePolished(); // the style sheet's font
        const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 2 * TextMargin;
        setFixedSize(std::max(m_strip.frameWidth(), textWidth), m_strip.frameHeight());
    }
    update();
}

void KCustomButton::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void KCustomButton::enterEvent(QEvent* event)
{
    m_hovered = true;
    if (isEnabled()) {
        setCursor(m_hoverCursor);
        update();
    }
    QPushButton::enterEvent(event);
    emit signalEnter();
}

void KCustomButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    setCursor(Qt::ArrowCursor);
    update();
    QPushButton::leaveEvent(event);
    emit signalLeave();
}

void KCustomButton::mousePressEvent(QMouseEvent* event)
{
    m_pressed = true;
    QPushButton::mousePressEvent(event);
}

void KCustomButton::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressed = false;
    QPushButton::mouseReleaseEvent(event);
}

void KCustomButton::keyPressEvent(QKeyEvent* event)
{
    // The space key would click the button; these buttons answer the mouse only.
    if (event->key() == Qt::Key_Space)
        return;
    QPushButton::keyPressEvent(event);
}

void KCustomButton::drawFrame(QPainter& painter, const QRect& frame) const
{
    if (width() <= frame.width()) {
        painter.drawPixmap(rect(), m_strip.pixmap(), frame);
        return;
    }
    // Widened for its text: the ends as drawn, the middle stretched.
    const int end = std::min(frame.width() / 3, height() / 2);
    const QPixmap& strip = m_strip.pixmap();
    painter.drawPixmap(QRect(0, 0, end, height()), strip, QRect(frame.x(), frame.y(), end, frame.height()));
    painter.drawPixmap(QRect(end, 0, width() - 2 * end, height()), strip,
        QRect(frame.x() + end, frame.y(), frame.width() - 2 * end, frame.height()));
    painter.drawPixmap(QRect(width() - end, 0, end, height()), strip,
        QRect(frame.right() + 1 - end, frame.y(), end, frame.height()));
}

int KCustomButton::state() const
{
    if (!isEnabled())
        return 3;
    if (m_pressed)
        return 2;
    return m_hovered ? 1 : 0;
}

void KCustomButton::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    if (m_strip.frameCount() > 0) {
        setAutoFillBackground(false);
        QPainter painter(this);
        // A strip without a disabled frame is drawn faded, so that a disabled button looks it.
        if (!isEnabled() && m_strip.frameCount() < 4)
            painter.setOpacity(DisabledOpacity);
        drawFrame(painter,
            m_strip.frameCount() == 1 ? m_strip.pixmap().rect()
                                      : m_strip.frameRect(m_strip.frameForState(state())));
    } else {
        QStylePainter painter(this);
        painter.setPen(Qt::gray);
        painter.drawRect(0, 0, width() - 1, height() - 1);
        // The flat button without its text: the text is drawn below, in our own colour.
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
    }
    if (text().isEmpty())
        return;
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(isEnabled() && m_textColor.isValid() ? m_textColor : QColor(Qt::gray));
    painter.drawText(rect(), Qt::AlignHCenter | Qt::AlignVCenter, text());
}
