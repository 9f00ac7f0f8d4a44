#include "Widgets/controls/kclicklabel.h"

#include <QMouseEvent>

KClickLabel::KClickLabel(QWidget* parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void KClickLabel::setText(const QString& text)
{
    setProperty("Text4GTF", text);
    QLabel::setText(text);
}

void KClickLabel::setElidedText(const QString& text)
{
    setProperty("Text4GTF", text);
    QLabel::setText(fontMetrics().elidedText(text, Qt::ElideMiddle, width()));
}

void KClickLabel::setTextColor(const QColor& color)
{
    m_textColor = color;
    m_hoverTextColor = color;
    setStyleSheet(QStringLiteral("KClickLabel {color: %1;}").arg(color.name()));
}

void KClickLabel::setHoverTextColor(const QColor& color)
{
    m_hoverTextColor = color;
}

void KClickLabel::setUnderlineOnHover(bool underline)
{
    m_underlineOnHover = underline;
}

void KClickLabel::enterEvent(QEvent* event)
{
    Q_UNUSED(event)
    if (!text().isEmpty())
        setStyleSheet(QStringLiteral("KClickLabel {color: %1}").arg(m_hoverTextColor.name()));
    QFont hoverFont = font();
    hoverFont.setUnderline(m_underlineOnHover);
    setFont(hoverFont);
    emit enterLabel();
}

void KClickLabel::leaveEvent(QEvent* event)
{
    Q_UNUSED(event)
    if (!text().isEmpty())
        setStyleSheet(QStringLiteral("KClickLabel {color: %1;}").arg(m_textColor.name()));
    QFont plainFont = font();
    plainFont.setUnderline(false);
    setFont(plainFont);
    emit leaveLabel();
}

void KClickLabel::mousePressEvent(QMouseEvent* event)
{
    // Swallowed: a click is a release inside the label, and the press must not reach QLabel.
    Q_UNUSED(event)
}

void KClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->pos()))
        emit clicked();
}
