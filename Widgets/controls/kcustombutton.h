#pragma once

#include "Widgets/controls/kpicturestrip.h"

#include <QColor>
#include <QPushButton>

// A flat push button drawn from a picture strip (normal, hovered, pressed, disabled) with its
// text centred over it; without a picture it is a flat button with a grey outline. A strip of
// fewer than four frames is drawn faded while the button is disabled.
class KCustomButton : public QPushButton
{
    Q_OBJECT

public:
    // Black text, never takes focus.
    explicit KCustomButton(QWidget* parent = nullptr);
    // White text over `picture`, a strip of `frames` frames (0 means 4).
    KCustomButton(const QString& picture, int frames, QWidget* parent = nullptr);

    // Loads the strip and fixes the button to one frame's size, wider where its text needs more
    // room (the frame's ends then keep their shape and its middle stretches); an empty name removes
    // the picture.
    void setPicName(const QString& picture, int frames);
    // Room left beside the text at each end of a button widened for its text.
    static constexpr int TextMargin = 8;
    void setTextColor(const QColor& color);

    QString picName() const { return m_strip.fileName(); }
    // How a disabled button shows a strip that has no disabled frame.
    static constexpr qreal DisabledOpacity = 0.4;
    const KPictureStrip& strip() const { return m_strip; }
    QColor textColor() const { return m_textColor; }

signals:
    void signalEnter();
    void signalLeave();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int state() const;
    void drawFrame(QPainter& painter, const QRect& frame) const;

    bool m_pressed = false;
    bool m_hovered = false;
    KPictureStrip m_strip;
    Qt::CursorShape m_hoverCursor = Qt::PointingHandCursor;
    QColor m_textColor;
};
