#pragma once

#include "Widgets/dialogs/kskindialog.h"

#include <QStringList>

#include <memory>

class KCustomButton;
class QFontMetrics;
class QLabel;

// A skinned message box with an optional icon of its kind, a text and one or two buttons.
// exec() gives 1 for the accept button, 0 for the other one (and Escape), -1 for the title's
// close button.
//
// Tests answer boxes in advance: while answers are queued with setNextAnswer(), exec() takes
// the first of them at once, without showing the box, and remembers the box's text. With no
// answer queued the box is shown and waits for the user.
class KMessageBox : public KSkinDialog
{
    Q_OBJECT

public:
    // `icon` as QMessageBox::Icon: 1 information, 2 warning, 3 critical, 4 question; any other
    // value shows none.
    KMessageBox(int icon, const QString& title, const QString& text, const QString& backgroundImage,
        const QString& closePicture, int closeFrames, const QString& okText, const QString& cancelText,
        bool showCancel, QWidget* parent = nullptr);

    // Shows `imageFile` as the icon, the label fixed to the picture's size.
    void setIcon(const QString& imageFile);
    // `which` is QMessageBox::Ok or QMessageBox::Cancel; other values do nothing.
    void setButtonPicture(int which, const QString& picture, int frames);

    QString text() const;

    // The width of the text label for `text`: its own width when it fits on one line of
    // `maximum` pixels, else the narrowest width that takes no more lines, so that the lines
    // come out about even and no line holds a lone character.
    static int textWidth(const QFontMetrics& metrics, const QString& text, int maximum);
    static constexpr int MaxTextWidth = 200;

    // Runs a box with the critical icon modally and returns its result.
    static int showCritical(QWidget* parent, const QString& title, const QString& text,
        const QString& backgroundImage, const QString& closePicture, int closeFrames, const QString& okText,
        const QString& cancelText, bool showCancel);

    static void setNextAnswer(int answer);
    // Forgets queued answers and the texts of the boxes answered.
    static void clearNextAnswers();
    static int queuedAnswerCount();
    // The texts of the boxes answered from the queue, oldest first.
    static QStringList answeredTexts();

public slots:
    int exec() override;
    void slotClose() override;

protected:
    KCustomButton* m_okButton;
    KCustomButton* m_cancelButton;
    QLabel* m_iconLabel;
    QLabel* m_textLabel;

private:
    Q_DISABLE_COPY(KMessageBox)
};

// The question and error box of the recovery views. While one is alive (or one shown through
// showCritical is open), openMessageBoxCount() is above 0 and the pages hold back refreshes.
class KYMessageBox : public KMessageBox
{
    Q_OBJECT

public:
    using KMessageBox::KMessageBox;

    // The two boxes of the recovery views, built as they are shown (the gallery draws these
    // very boxes). The information box: title "提示", one button "确定", `kind` as its icon.
    static std::unique_ptr<KYMessageBox> information(QWidget* parent, int kind, const QString& text);
    // The question box: the skin's question icon and plain buttons for `accept` and `other`.
    static std::unique_ptr<KYMessageBox> question(QWidget* parent, const QString& title, const QString& text,
        const QString& accept, const QString& other);

    void onHostSkinChanged() override;

    // KMessageBox::showCritical, counted as an open box while it runs.
    static int showCritical(QWidget* parent, const QString& title, const QString& text,
        const QString& backgroundImage, const QString& closePicture, int closeFrames, const QString& okText,
        const QString& cancelText, bool showCancel);

    // Used on the GUI thread only.
    static int openMessageBoxCount();

private:
    // Counts one open box from construction to destruction.
    struct OpenBox
    {
        OpenBox();
        ~OpenBox();
        Q_DISABLE_COPY(OpenBox)
    };
    OpenBox m_openBox;
    Q_DISABLE_COPY(KYMessageBox)
};
