#pragma once

#include <QLabel>
#include <QList>
#include <QMenu>
#include <QPointer>

class KButton;
class QAction;

// A button face and a pull-down arrow side by side. The face emits clicked(0); the n-th entry
// of the pull-down menu emits clicked(n), counting from 1.
class KMenuButton : public QLabel
{
    Q_OBJECT

public:
    KMenuButton(const QString& leftPicture, int leftFrames, const QString& pullPicture, int pullFrames,
        QWidget* parent = nullptr);
    ~KMenuButton() override;

    void addAction(const QString& text, const QString& iconFile);

    KButton* leftButton() const { return m_leftButton; }
    KButton* pullButton() const { return m_pullButton; }
    // Made when first asked for: a long list holds many of these controls and opens few menus.
    QMenu* menu() const;

    // The two buttons side by side (QLabel would answer for its text).
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void clicked(int index);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

public slots:
    void onPullDown();
    void onLeftButtonClicked();
    void onActionClicked();

private:
    struct Entry
    {
        QString text;
        QString iconFile;
    };

    KButton* m_leftButton;
    KButton* m_pullButton;
    void appendAction(const Entry& entry);
    void placeButtons();

    QList<Entry> m_entries;
    // Belongs to the top-most ancestor when made, which may delete it before or after this
    // control.
    mutable QPointer<QMenu> m_menu;
    mutable QList<QAction*> m_actions;
    Q_DISABLE_COPY(KMenuButton)
};
