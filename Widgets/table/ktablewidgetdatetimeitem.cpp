#include "Widgets/table/ktablewidgetdatetimeitem.h"

#include "core/kuilanguage.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>

namespace {

// The engine groups rows under "2026年12月"; in English that is the locale's "December 2026".
QString monthText(const QString& heading)
{
    if (KUiLanguage::current() == KUiLanguage::Language::Chinese)
        return heading;
    static const QRegularExpression month(QStringLiteral("^(\\d{4})\\x{5E74}(\\d{2})\\x{6708}$"));
    const QRegularExpressionMatch match = month.match(heading);
    if (!match.hasMatch())
        return heading;
    const QDate first(match.captured(1).toInt(), match.captured(2).toInt(), 1);
    return KUiLanguage::locale().toString(first, QStringLiteral("MMMM yyyy"));
}

} // namespace

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
    m_lblTitle->setText(monthText(texts.value(0)));
}
