#pragma once

#include <QFrame>
#include <QPoint>

class KCustomButton;
class QHBoxLayout;
class QLabel;

// The title strip of the message boxes: caption, close button and a skin picture as background.
// Dragging it left of the close button moves the window.
class KCustomDlgTitleWidget : public QFrame
{
    Q_OBJECT

public:
    // An empty or missing `backgroundImage` leaves the strip without a picture.
    KCustomDlgTitleWidget(const QString& title, const QString& backgroundImage, const QString& closePicture,
        int closeFrames, QWidget* parent = nullptr);

    QString backgroundImage() const { return m_backgroundImage; }
    KCustomButton* closeButton() const { return m_closeButton; }
    QHBoxLayout* titleLayout() const { return m_layout; }

signals:
    void signalClickClose();

public slots:
    // Takes `strSkinFileName` as the background when it names an existing file; else nothing changes.
    void slotChangeSkin(QString strSkinFileName);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void applyBackground();

    bool m_dragging = false;
    QString m_backgroundImage;
    QPoint m_pressPos;
    QLabel* m_iconLabel;
    QLabel* m_titleLabel;
    KCustomButton* m_closeButton;
    QHBoxLayout* m_layout;
    Q_DISABLE_COPY(KCustomDlgTitleWidget)
};
