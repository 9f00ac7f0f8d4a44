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
    // Made when first asked for: most controls never carry text.
    QLabel* overlayLabel() const;

signals:
    void clicked();

protected:
    void changeEvent(QEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshImage();
    void keepTransparent();

    QLabel* m_imageLabel;
    mutable QLabel* m_overlayLabel = nullptr;
    QString m_normalImage;
    QString m_hoverImage;
    QString m_pressedImage;
    QString m_spareImage;
    bool m_hovered = false;
    bool m_pressed = false;
};
