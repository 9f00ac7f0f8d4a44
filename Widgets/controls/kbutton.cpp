#include "Widgets/controls/kbutton.h"

#include <QPainter>

KButton::KButton(QWidget* parent)
    : QPushButton(parent)
{ }

void KButton::setPixmap(const QString& file, int frames)
{
    m_strip.load(file, frames);
    setFixedSize(m_strip.frameWidth(), m_strip.frameHeight());
}

void KButton::enterEvent(QEvent* event)
{
    Q_UNUSED(event)
    m_state = 1;
}

void KButton::leaveEvent(QEvent* event)
{
    Q_UNUSED(event)
    m_state = 0;
}

void KButton::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    if (m_strip.frameWidth() <= 0) {
        painter.drawPixmap(rect(), m_strip.pixmap());
        return;
    }
    painter.drawPixmap(rect(), m_strip.pixmap(), m_strip.frameRect(m_strip.frameForState(m_state)));
}
