#include "Widgets/controls/klabel.h"

#include <QMouseEvent>

KLabel::KLabel(QWidget* parent)
    : QLabel(parent)
    , m_imageLabel(new QLabel(this))
    , m_overlayLabel(new QLabel(this))
{
    setCursor(Qt::PointingHandCursor);
    m_imageLabel->setObjectName(QStringLiteral("imageLabel"));
    m_overlayLabel->setObjectName(QStringLiteral("overlayLabel"));
    m_overlayLabel->setGeometry(rect());
    const QString transparent = QStringLiteral("background: transparent;");
    setStyleSheet(transparent);
    m_imageLabel->setStyleSheet(transparent);
    m_overlayLabel->setStyleSheet(transparent);
    // The control itself tracks hover and presses, whichever child lies under the mouse.
    m_imageLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_overlayLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void KLabel::setImages(
    const QString& normal, const QString& hover, const QString& pressed, const QString& spare)
{
    m_normalImage = normal;
    m_hoverImage = hover;
    m_pressedImage = pressed;
    m_spareImage = spare;
    refreshImage();
}

void KLabel::refreshImage()
{
    const QString& image = m_hovered ? m_hoverImage : (!m_pressed ? m_normalImage : m_pressedImage);
    if (!image.isEmpty())
        m_imageLabel->setPixmap(QPixmap(image));
    const QSize size = m_imageLabel->pixmap(Qt::ReturnByValue).size();
    m_imageLabel->setGeometry(
        (width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height());
}

void KLabel::enterEvent(QEvent* event)
{
    Q_UNUSED(event)
    m_hovered = true;
    refreshImage();
}

void KLabel::leaveEvent(QEvent* event)
{
    Q_UNUSED(event)
    m_hovered = false;
    refreshImage();
}

void KLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        refreshImage();
    } else {
        m_pressed = false;
    }
    QLabel::mousePressEvent(event);
}

void KLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressed && rect().contains(event->pos()))
        emit clicked();
    m_pressed = false;
    refreshImage();
}

void KLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    // Keeps the image centred and the overlay covering the control when layouts resize it.
    m_overlayLabel->setGeometry(rect());
    refreshImage();
}
