#include "Widgets/controls/klabel.h"

#include "Widgets/controls/kpicturestrip.h"

#include <QMouseEvent>
#include <QStyle>

KLabel::KLabel(QWidget* parent)
    : QLabel(parent)
    , m_imageLabel(new QLabel(this))
{
    setCursor(Qt::PointingHandCursor);
    m_imageLabel->setObjectName(QStringLiteral("imageLabel"));
    keepTransparent();
    // The control itself tracks hover and presses, whichever child lies under the mouse.
    m_imageLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void KLabel::keepTransparent()
{
    // Only a style sheet could paint a background here, one of an ancestor's; a rule of its own
    // stops that. Elsewhere a sheet would only make the control dear to create.
    if (!styleSheet().isEmpty() || !style()->inherits("QStyleSheetStyle"))
        return;
    const QString transparent = QStringLiteral("background: transparent;");
    setStyleSheet(transparent);
    m_imageLabel->setStyleSheet(transparent);
}

void KLabel::changeEvent(QEvent* event)
{
    // An ancestor given a style sheet later restyles this control.
    if (event->type() == QEvent::StyleChange)
        keepTransparent();
    QLabel::changeEvent(event);
}

QLabel* KLabel::overlayLabel() const
{
    if (!m_overlayLabel) {
        m_overlayLabel = new QLabel(const_cast<KLabel*>(this));
        m_overlayLabel->setObjectName(QStringLiteral("overlayLabel"));
        m_overlayLabel->setGeometry(rect());
        m_overlayLabel->setStyleSheet(QStringLiteral("background: transparent;"));
        m_overlayLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_overlayLabel->show();
    }
    return m_overlayLabel;
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
    QPixmap shown = m_imageLabel->pixmap(Qt::ReturnByValue);
    if (!image.isEmpty()) {
        const QPixmap picture = KPictureStrip::picture(image);
        // Setting the same picture again would lay the label out and paint it again.
        if (picture.cacheKey() != shown.cacheKey() || picture.isNull()) {
            m_imageLabel->setPixmap(picture);
            shown = picture;
        }
    }
    const QSize size = shown.size();
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
    if (m_overlayLabel)
        m_overlayLabel->setGeometry(rect());
    refreshImage();
}
