#include "Widgets/table/ktablewidgetdatetimeitem.h"

#include <QHBoxLayout>
#include <QLabel>

KTableWidgetDateTimeItem::KTableWidgetDateTimeItem(QWidget* parent)
    : KTableWidgetItemBase(parent)
    , m_lblTitle(new QLabel(tr("当前月"), this))
{
    setItemType(ITEM_DATETIME);
    resize(637, 30);
    setMinimumHeight(30);
    setMaximumHeight(30);

    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setStyleSheet(
        QStringLiteral("color:#01a82c;background: transparent;background-color:#f6f6f6; font-weight:bold"));
    m_lblTitle->setIndent(12);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 1, 1); // the row's edge lines stay visible
    layout->addWidget(m_lblTitle);
}

QString KTableWidgetDateTimeItem::title() const
{
    return m_lblTitle->text();
}

void KTableWidgetDateTimeItem::setData(const QStringList& texts)
{
    m_lblTitle->setText(texts.value(0));
}
