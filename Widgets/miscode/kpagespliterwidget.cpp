#include "Widgets/miscode/kpagespliterwidget.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

namespace {

constexpr int ButtonCount = 10;

const QString CurrentStyle
    = QStringLiteral("QPushButton::disabled{color:#0096ff; font:bold 9pt; border:0px;};");
const QString OtherStyle = QStringLiteral(
    "QPushButton{color:#333333; font:9pt; border-width:1px; border-color:#d6d7e0; border-style:solid; "
    "border-radius:0px; background-color:#e4f1fa;}QPushButton:hover {color:#333333; font:9pt; "
    "border-width:1px; border-color:#0096ff; border-style:solid; border-radius:0px; "
    "background-color:#e4f1fa;}");

// "<<" and ">>" look like page buttons, greyed while there is no group to go to.
const QString ArrowStyle = OtherStyle
    + QStringLiteral("QPushButton:disabled {color:#c0c0c0; border-color:#e4e4e4; background-color:#f7f7f7;}");

QPushButton* barButton(const QString& name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFixedSize(24, 24);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(OtherStyle);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

KPageSpliterWidget::KPageSpliterWidget(QWidget* parent)
    : QWidget(parent)
    , m_background(new QWidget(this))
    , m_leftButton(barButton(QStringLiteral("btnLeft"), QStringLiteral("<<"), this))
    , m_rightButton(barButton(QStringLiteral("btnRight"), QStringLiteral(">>"), this))
{
    m_leftButton->setStyleSheet(ArrowStyle);
    m_rightButton->setStyleSheet(ArrowStyle);
    m_background->setObjectName(QStringLiteral("pageBackground"));
    m_background->setStyleSheet(QStringLiteral("background-color:#FFFFFF"));
    m_background->lower();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addStretch();
    row->addWidget(m_leftButton);
    for (int i = 0; i < ButtonCount; ++i) {
        QPushButton* button = barButton(QStringLiteral("btnPage%1").arg(i), QString(), this);
        connect(button, &QPushButton::clicked, this, [this, i] { pageButtonClick(i); });
        m_pageButtons.append(button);
        row->addWidget(button);
    }
    row->addWidget(m_rightButton);
    row->addStretch();

    connect(m_leftButton, &QPushButton::clicked, this, &KPageSpliterWidget::leftButtonClicked);
    connect(m_rightButton, &QPushButton::clicked, this, &KPageSpliterWidget::rightButtonClicked);
    refreshButtons();
}

QPushButton* KPageSpliterWidget::pageButton(int index) const
{
    return m_pageButtons.value(index);
}

int KPageSpliterWidget::groupCount() const
{
    return m_nTotalPage / ButtonCount + (m_nTotalPage % ButtonCount != 0 ? 1 : 0);
}

void KPageSpliterWidget::setPages(int nTotalPage, int nPageIndex)
{
    m_nTotalPage = nTotalPage;
    m_nPageIndex = nPageIndex;
    m_pageGroup = nPageIndex / ButtonCount + (nPageIndex % ButtonCount != 0 ? 1 : 0);
    refreshButtons();
}

void KPageSpliterWidget::refreshButtons()
{
    const int first = m_pageGroup * ButtonCount - (ButtonCount - 1);
    const int visible = qBound(0, m_nTotalPage - first + 1, ButtonCount);
    for (int i = 0; i < ButtonCount; ++i) {
        QPushButton* button = m_pageButtons.at(i);
        const int page = first + i;
        button->setText(QString::number(page));
        button->setVisible(i < visible);
        const bool current = page == m_nPageIndex;
        button->setEnabled(!current);
        button->setStyleSheet(current ? CurrentStyle : OtherStyle);
        button->setCursor(current ? Qt::ArrowCursor : Qt::PointingHandCursor);
    }
    m_leftButton->setEnabled(m_pageGroup >= 2);
    m_rightButton->setEnabled(m_pageGroup < groupCount());
    m_leftButton->setCursor(m_leftButton->isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    m_rightButton->setCursor(m_rightButton->isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void KPageSpliterWidget::pageButtonClick(int index)
{
    QPushButton* button = pageButton(index);
    if (!button)
        return;
    const int page = button->text().toInt();
    if (page != m_nPageIndex)
        emit pageChanged(page);
}

void KPageSpliterWidget::leftButtonClicked()
{
    --m_pageGroup;
    refreshButtons();
    pageButtonClick(0);
}

void KPageSpliterWidget::rightButtonClicked()
{
    ++m_pageGroup;
    refreshButtons();
    pageButtonClick(0);
}

void KPageSpliterWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(QStringLiteral("#dfdfdf")));
    const int right = width() - 1;
    const int bottom = height() - 1;
    painter.drawLine(right, 0, right, bottom);
    painter.drawLine(0, bottom, right, bottom);
}

void KPageSpliterWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect().adjusted(1, 1, -1, -1));
}
