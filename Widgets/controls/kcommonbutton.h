#pragma once

#include <QImage>
#include <QLabel>

// A label-based image button that paints its own image. After a click it keeps its pressed
// image (a selected look) until a later release outside or with another button clears it.
class KCommonButton : public QLabel
{
    Q_OBJECT

public:
    explicit KCommonButton(QWidget* parent = nullptr);

    // With `scaleToFit` the image fills the button, its aspect ratio ignored; otherwise it is
    // drawn at its own size, centred. `spare` is kept but never shown.
    void setImages(const QString& normal, const QString& hover, const QString& pressed, const QString& spare,
        bool scaleToFit);

    bool isPressed() const { return m_pressed; }

signals:
    void clicked();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const QImage& image(const QString& path);

    QString m_hoverImage;
    QString m_normalImage;
    QString m_pressedImage;
    QString m_spareImage;
    bool m_hovered = false;
    bool m_pressed = false;
    bool m_scaleToFit = false;
    // The last image decoded, so that repaints in one state decode nothing.
    QString m_cachedPath;
    QImage m_cachedImage;
};
