#pragma once

#include "Widgets/tips/kmovewidget.h"

#include <QList>
#include <QSize>
#include <QString>

class KClickLabel;
class KCustomButton;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

// What a tip shows.
struct KTipContent
{
    struct Button
    {
        QString text;
        QString picture; // a strip of two frames
        QString colour; // of the text
        bool bold = true;
    };
    enum class Strip
    {
        None,
        Red,
        Orange, // also turns the headline's warning colour on
    };

    QString closePicture;
    int closeFrames = 2;
    QString logoPicture;
    QString headline; // empty hides its line
    QString secondLine; // as well
    QString iconPicture; // one that cannot be loaded hides the icon
    int hideDelayMs = -1; // -1 keeps the tip until it is closed
    QSize size;
    Strip strip = Strip::None;
    QList<Button> buttons;
};

// A tip that slides in at the lower-right corner: the product's logo at the left, a coloured
// strip along the top, an icon, a headline and a second line, a row of action buttons and a
// close button. Pressing any button closes it.
class KTipWidget : public KMoveWidget
{
    Q_OBJECT

public:
    explicit KTipWidget(KPlatform* platform, QWidget* parent = nullptr);

    // Fills the tip and slides it in.
    void setContent(const KTipContent& content);

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
