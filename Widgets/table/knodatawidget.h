#pragma once

#include <QWidget>

class QLabel;

// What an empty list shows instead: the logo and a line saying that protection is running.
class KNoDataWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KNoDataWidget(QWidget* parent = nullptr);

    // 0: the text of the mis-edit page; 1: that of the deleted-file page. Other values are ignored.
    void setMode(int mode);
    int mode() const { return m_mode; }
    QString text() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeChildren();

    int m_mode = 0;
    QLabel* m_background;
    QLabel* m_picture;
    QLabel* m_text;
    Q_DISABLE_COPY(KNoDataWidget)
};
