#pragma once

#include <QColor>
#include <QLabel>

// A text label that reports clicks and hover, optionally underlined and recoloured on hover.
// Its style sheets, where it is under one, select it by class name, so the class keeps the name
// KClickLabel.
class KClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit KClickLabel(QWidget* parent = nullptr);

    // Also kept as the dynamic property "Text4GTF".
    void setText(const QString& text);
    // The same, the text shown shortened in the middle when it is wider than the label.
    void setElidedText(const QString& text);
    // The colour out of hover and, until setHoverTextColor, also on hover.
    void setTextColor(const QColor& color);
    void setHoverTextColor(const QColor& color);
    void setUnderlineOnHover(bool underline);

signals:
    void clicked();
    void enterLabel();
    void leaveLabel();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void showColor(const QColor& color);

    bool m_underlineOnHover = false;
    // Invalid colours are named "#000000": a label never given colours turns black on hover.
    QColor m_textColor;
    QColor m_hoverTextColor;
};
