#pragma once

#include "Widgets/controls/kpicturestrip.h"

#include <QPushButton>

// A push button that paints one frame of a horizontal picture strip: the first frame normally,
// the second while hovered. Hover changes take effect at the next repaint.
class KButton : public QPushButton
{
    Q_OBJECT

public:
    explicit KButton(QWidget* parent = nullptr);

    // Loads the strip (0 frames means 4) and fixes the button to the size of one frame.
    void setPixmap(const QString& file, int frames);
    const KPictureStrip& strip() const { return m_strip; }

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_state = 0; // 0 normal, 1 hovered
    KPictureStrip m_strip;
};
