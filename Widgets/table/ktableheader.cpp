#include "Widgets/table/ktableheader.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

// As the rows place them: 72 and 160 pixels for the count and the date, the buttons after them
// (of the self-backup rows nine pixels further right), and a scroll bar's width to spare.
constexpr int CountWidth = 72;
constexpr int DateWidth = 160;
constexpr int OperationWidth = 143;
constexpr int SelfBackupOperationWidth = 134;

QLabel* headerLabel(const QString& name, const QString& text, const QString& styleSheet, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setStyleSheet(styleSheet);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

KTableHeader::KTableHeader(QWidget* parent)
    : QWidget(parent)
{
    const QString style = QStringLiteral("color:#a2a2a2;\nbackground-color:#fcfcfc;\nborder:0.5px groove "
                                         "#dfdfdf;\nborder-top:0px;\nborder-left:0px;");
    const QString fileStyle = QStringLiteral("color:#a2a2a2;\nbackground-color:#fcfcfc;\nborder:0.5px groove "
                                             "#dfdfdf;\nborder-left:1px;\nborder-top:0px;");
    // Left to right as the columns of the rows below: the file (icon and name), its backup
    // count, its last backup date, and the row's buttons.
    m_lblFile = headerLabel(QStringLiteral("lblFile"), tr("工程文件"), fileStyle, this);
    m_lblBackedNumber = headerLabel(QStringLiteral("lblBackedNumber"), tr("备份数"), style, this);
    m_lblLastBackedTime = headerLabel(QStringLiteral("lblLastBackedTime"), tr("最近备份日期"), style, this);
    m_lblOperation = headerLabel(QStringLiteral("lblOperation"), tr("操作"), style, this);

    m_lblBackedNumber->setFixedWidth(CountWidth);
    m_lblLastBackedTime->setFixedWidth(DateWidth);
    m_lblOperation->setFixedWidth(OperationWidth);
    setMinimumHeight(29);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_lblFile, 1);
    layout->addWidget(m_lblBackedNumber);
    layout->addWidget(m_lblLastBackedTime);
    layout->addWidget(m_lblOperation);
}

bool KTableHeader::isBackedNumberVisible() const
{
    return !m_lblBackedNumber->isHidden();
}

void KTableHeader::setBackedNumberVisible(bool visible)
{
    if (visible == isBackedNumberVisible())
        return;
    m_lblBackedNumber->setVisible(visible);
    m_lblOperation->setFixedWidth(visible ? OperationWidth : SelfBackupOperationWidth);
}
