#pragma once

#include <QLabel>

// An image label with hover and pressed images that reports clicks. Hover wins over pressed:
// the pressed image shows only while the button is held outside the control.
class KLabel : public QLabel
{
    Q_OBJECT

public:
    explicit KLabel(QWidget* parent = nullptr);

    // `spare` is kept but never shown.
    void setImages(const QString& normal, const QString& hover, const QString& pressed, const QString& spare);

    // A transparent label over the whole control on which callers may put text.
    QLabel* overlayLabel() const { return m_overlayLabel; }

signals:
    void clicked();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshImage();

    QLabel* m_imageLabel;
    QLabel* m_overlayLabel;
    QString m_normalImage;
    QString m_hoverImage;
    QString m_pressedImage;
    QString m_spareImage;
    bool m_hovered = false;
    bool m_pressed = false;
};
