#include "Widgets/miscode/kfiletypelabel.h"

#include <QMouseEvent>

KFileTypeLabel::KFileTypeLabel(QWidget* parent)
    : KClickLabel(parent)
    , m_text(new QLabel(this))
{
    m_text->setObjectName(QStringLiteral("lblText"));
    setWidth(DesignedWidth);
    m_text->setStyleSheet(QStringLiteral("color:#333333; background: transparent;"));
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(true);
    refreshLook();
    connect(this, &KClickLabel::clicked, this, &KFileTypeLabel::selfClicked);
}

void KFileTypeLabel::setWidth(int width)
{
    // The caption ends before the chevron the entry's pictures draw at its right.
    setFixedSize(width, 32);
    m_text->setGeometry(24, 0, width - CaptionMargins, 32);
    // A wider entry stretches its pictures a little, so that the chevron stays at the right.
    setScaledContents(width > DesignedWidth);
}

void KFileTypeLabel::setFileType(int fileType)
{
    m_fileType = fileType;
}

void KFileTypeLabel::setText(const QString& text)
{
    m_text->setText(text);
}

QString KFileTypeLabel::text() const
{
    return m_text->text();
}

void KFileTypeLabel::setImages(const QString& normal, const QString& hot, const QString& pressed)
{
    m_normalImage = normal;
    m_hotImage = hot;
    m_pressedImage = pressed;
    refreshLook();
}

void KFileTypeLabel::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    refreshLook();
}

void KFileTypeLabel::selfClicked()
{
    setSelected(true);
    emit sigClicked(m_fileType);
}

void KFileTypeLabel::enterEvent(QEvent* event)
{
    KClickLabel::enterEvent(event);
    m_hover = true;
    refreshLook();
}

void KFileTypeLabel::leaveEvent(QEvent* event)
{
    KClickLabel::leaveEvent(event);
    m_hover = false;
    refreshLook();
}

void KFileTypeLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        setSelected(false);
    KClickLabel::mousePressEvent(event);
}

void KFileTypeLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !rect().contains(event->pos()))
        setSelected(false);
    KClickLabel::mouseReleaseEvent(event);
}

void KFileTypeLabel::refreshLook()
{
    // Hover wins; a selected entry looks hovered with the pressed picture.
    const bool lit = m_hover || m_selected;
    setStyleSheet(
        lit ? QStringLiteral("background-color:white;") : QStringLiteral("background-color:#f2f2f2;"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, lit ? QColor(252, 252, 252) : QColor(242, 242, 242));
    setPalette(palette);
    const QString& image = m_hover ? m_hotImage : (m_selected ? m_pressedImage : m_normalImage);
    setPixmap(image.isEmpty() ? QPixmap() : QPixmap(image));
}
