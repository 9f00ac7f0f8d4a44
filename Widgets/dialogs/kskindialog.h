#pragma once

#include <QDialog>

class KCustomDlgTitleWidget;

// A frameless dialog with a skinned title strip above a light content area, which subclasses
// fill. It follows the host's skin: a copy-data message "SkinChanged:<picture>" sets the title
// background, and the host's skin-change message calls onHostSkinChanged().
class KSkinDialog : public QDialog
{
    Q_OBJECT

public:
    KSkinDialog(const QString& title, const QString& backgroundImage, const QString& closePicture,
        int closeFrames, int width, int height, QWidget* parent = nullptr,
        Qt::WindowFlags flags = Qt::WindowFlags());

    QWidget* content() const { return m_content; }
    KCustomDlgTitleWidget* titleWidget() const { return m_titleWidget; }

public slots:
    // Called by the title's close button. Here it closes the dialog and destroys its native window.
    virtual void slotClose();

public:
    virtual void onHostSkinChanged();

    // The host's skin-change window message.
    static constexpr unsigned int HostSkinChangedMessage = 2025;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;

    QWidget* m_content;
    KCustomDlgTitleWidget* m_titleWidget;

private:
    Q_DISABLE_COPY(KSkinDialog)
};
