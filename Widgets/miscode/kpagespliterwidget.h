#pragma once

#include <QWidget>

class QPushButton;

// The page bar under the mis-edit list: pages in groups of ten, "<<" and ">>" to move between
// groups. The bar does not move its own highlight on a click: it asks for the page and waits
// for the engine's answer, which calls setPages().
class KPageSpliterWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KPageSpliterWidget(QWidget* parent = nullptr);

    void setPages(int nTotalPage, int nPageIndex);
    void refreshButtons();

    int totalPages() const { return m_nTotalPage; }
    int pageIndex() const { return m_nPageIndex; }
    int pageGroup() const { return m_pageGroup; }
    QPushButton* pageButton(int index) const;
    QPushButton* leftButton() const { return m_leftButton; }
    QPushButton* rightButton() const { return m_rightButton; }

signals:
    void pageChanged(int page);

public slots:
    void pageButtonClick(int index);
    void leftButtonClicked();
    void rightButtonClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int groupCount() const;

    int m_nTotalPage = 0;
    int m_nPageIndex = 0;
    int m_pageGroup = 0;
    QWidget* m_background;
    QList<QPushButton*> m_pageButtons;
    QPushButton* m_leftButton;
    QPushButton* m_rightButton;
    Q_DISABLE_COPY(KPageSpliterWidget)
};
