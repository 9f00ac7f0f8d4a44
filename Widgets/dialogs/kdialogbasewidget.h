#pragma once

#include <QDialog>
#include <QPointer>

class KSystemTitle;
class QPropertyAnimation;

// The frame of the settings and clean-up dialogs: frameless, a grey border and the title strip
// with its close button only. The close button shrinks the dialog into its centre, then closes it.
// It shows centred on its parent's window and carries its caption as its window title.
class KDialogBaseWidget : public QDialog
{
    Q_OBJECT

public:
    explicit KDialogBaseWidget(QWidget* parent = nullptr);

    void setTitle(const QString& text);
    KSystemTitle* title() const { return m_title; }

public slots:
    void closeClicked();

protected:
    // Fixes the dialog at its designed size, or wider where its contents need more room (texts
    // longer in another language). Call once the contents are set up.
    void fixSize();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    KSystemTitle* m_title;
    QPointer<QPropertyAnimation> m_closing;
    Q_DISABLE_COPY(KDialogBaseWidget)
};
