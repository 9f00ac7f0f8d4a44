#include "Widgets/controls/kclicklabel.h"

#include <QMouseEvent>
#include <QStyle>

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
    showColor(color);
}

void KClickLabel::showColor(const QColor& color)
{
    // Under a style sheet a rule of its own wins over the sheet's; elsewhere a palette is far cheaper.
    if (!styleSheet().isEmpty() || style()->inherits("QStyleSheetStyle")) {
        setStyleSheet(QStringLiteral("KClickLabel {color: %1;}").arg(color.name()));
        return;
    }
    // Every role a sheet's colour sets: inside a list's viewport a label writes in the text colour.
    QPalette ink = palette();
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        ink.setColor(role, QColor(color.name()));
    setPalette(ink);
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
        showColor(m_hoverTextColor);
    QFont hoverFont = font();
    hoverFont.setUnderline(m_underlineOnHover);
    setFont(hoverFont);
    emit enterLabel();
}

void KClickLabel::leaveEvent(QEvent* event)
{
    Q_UNUSED(event)
    if (!text().isEmpty())
        showColor(m_textColor);
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
