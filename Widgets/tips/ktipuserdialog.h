#pragma once

#include "Widgets/title/ktitlestrip.h"

#include <QWidget>

class KCustomButton;
class QLabel;

// The small window that tells the user the first backup has been made: a background picture,
// a close button and one action button. It sits at the lower-right corner of the screen, can be
// dragged, and deletes itself when closed.
class KTipUserDialog : public QWidget
{
    Q_OBJECT

public:
    // The window takes the size of `backgroundPicture`.
    explicit KTipUserDialog(const QString& backgroundPicture, QWidget* parent = nullptr);

    // The action button: `picture` is a strip of `frames` frames, placed near the lower right.
    void setActionButton(const QString& picture, int frames);

signals:
    void leftBtnClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QLabel* m_background;
    KCustomButton* m_closeButton;
    KCustomButton* m_actionButton;
    KTitleStrip::Drag m_drag;

    Q_DISABLE_COPY(KTipUserDialog)
};
