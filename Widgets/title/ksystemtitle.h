#pragma once

#include <QPoint>
#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class KSystemTitle;
}

// The title strip of a frameless window: logo, caption, settings, minimise, maximise/restore and
// close buttons. Dragging it moves its window; its background is the host's current skin.
class KSystemTitle : public QWidget
{
    Q_OBJECT

public:
    // The strip acts on the top-level window that holds it at construction.
    explicit KSystemTitle(QWidget* parent = nullptr);
    ~KSystemTitle() override;

    void setTitle(const QString& text);
    void setSettingVisible(bool visible);
    void setMinVisible(bool visible);
    void setMixVisible(bool visible);
    // All four buttons: settings, minimise, maximise and close.
    void setButtonsEnabled(bool enabled);

signals:
    void settingClicked();
    void sigCloseClicked();

public slots:
    // Reloads the background from the host's skin setting.
    void onChangeSkin();

private slots:
    void onMixNormal();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QScopedPointer<Ui::KSystemTitle> m_ui;
    bool m_dragging = false;
    QPoint m_pressPos;
    QWidget* m_window;
    Q_DISABLE_COPY(KSystemTitle)
};
