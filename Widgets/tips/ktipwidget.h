#pragma once

#include "Widgets/tips/kmovewidget.h"

#include <QList>
#include <QStringList>

class KClickLabel;
class KCustomButton;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

// A tip that slides in at the lower-right corner: the product's logo at the left, a coloured
// strip along the top, an icon, a headline and a second line, a row of action buttons and a
// close button. Pressing any button closes it.
class KTipWidget : public KMoveWidget
{
    Q_OBJECT

public:
    explicit KTipWidget(QWidget* parent = nullptr);

    // Fills the tip and slides it in. `kind` 1 gives a red strip, 2 an orange one, anything else
    // none. Button i shows buttonTexts[i] on the 2-frame strip buttonPictures[i] in the colour
    // buttonColours[i], bold when buttonBold[i]; an empty text hides its line, a picture that
    // cannot be loaded hides the icon. `hideDelay` -1 keeps the tip until it is closed.
    void setContent(const QString& closePicture, int closeFrames, const QString& logoPicture,
        const QString& headline, const QString& secondLine, const QString& iconPicture, int hideDelay,
        int width, int height, int kind, const QStringList& buttonTexts, const QStringList& buttonPictures,
        const QStringList& buttonColours, const QList<bool>& buttonBold);

    // A text the tip carries for whoever answers its buttons (the drive a move would go to).
    QString driveText() const { return m_driveText; }
    void setDriveText(const QString& text) { m_driveText = text; }

    QList<KCustomButton*> actionButtons() const { return m_buttons; }

signals:
    void sigTextClicked();
    void sigLogoClicked();
    void sigCheckStateChanged(int);
    // The position of the action button pressed.
    void clicked(int index);
    void closeTip();

private slots:
    void onBtnClicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_header;
    KCustomButton* m_logoButton;
    KCustomButton* m_closeButton;
    KClickLabel* m_headline;
    QLabel* m_secondLine;
    QLabel* m_iconLabel;
    QVBoxLayout* m_column;
    QHBoxLayout* m_buttonRow;
    QList<KCustomButton*> m_buttons;
    QString m_driveText;

    Q_DISABLE_COPY(KTipWidget)
};
