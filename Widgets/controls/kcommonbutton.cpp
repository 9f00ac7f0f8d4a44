#include "Widgets/controls/kcommonbutton.h"

#include <QMouseEvent>
#include <QPainter>

KCommonButton::KCommonButton(QWidget* parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void KCommonButton::setImages(const QString& normal, const QString& hover, const QString& pressed,
    const QString& spare, bool scaleToFit)
{
    m_normalImage = normal;
    m_hoverImage = hover;
    m_pressedImage = pressed;
    m_spareImage = spare;
    m_scaleToFit = scaleToFit;
    update();
}

void KCommonButton::enterEvent(QEvent* event)
{
    Q_UNUSED(event)
    if (m_pressed)
        return;
    m_hovered = true;
    update();
}

void KCommonButton::leaveEvent(QEvent* event)
{
    Q_UNUSED(event)
    m_hovered = false;
    update();
}

void KCommonButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    } else {
        m_pressed = false;
    }
    QLabel::mousePressEvent(event);
}

void KCommonButton::mouseMoveEvent(QMouseEvent* event)
{
    Q_UNUSED(event)
}

void KCommonButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressed && rect().contains(event->pos())) {
        emit clicked();
        return;
    }
    m_pressed = false;
}

const QImage& KCommonButton::image(const QString& path)
{
    if (path != m_cachedPath) {
        m_cachedPath = path;
        m_cachedImage.load(path);
    }
    return m_cachedImage;
}

void KCommonButton::paintEvent(QPaintEvent* event)
{
    const QString& path = m_pressed ? m_pressedImage : (m_hovered ? m_hoverImage : m_normalImage);
    if (!path.isEmpty()) {
        const QImage& picture = image(path);
        QPainter painter(this);
        if (m_scaleToFit) {
            painter.drawImage(
                QPoint(0, 0), picture.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
        } else {
            painter.drawImage(
                QPoint((width() - picture.width()) / 2, (height() - picture.height()) / 2), picture);
        }
    }
    QWidget::paintEvent(event);
}
