#include "Widgets/miscode/ktypewidget.h"

#include "Widgets/miscode/kfiletypelabel.h"
#include "core/kcommon.h"
#include "core/kfilelist.h"

#include <QLabel>
#include <QPainter>

#include <algorithm>

namespace {

struct Entry
{
    int type;
    const char* name;
};

// Top to bottom under their titles.
constexpr Entry RecentEntries[] = { { KFileList::of(KListPage::Today), "lblToday" },
    { KFileList::of(KListPage::Recent), "lblRecent3Days" } };
constexpr Entry AllEntries[] = { { KFileList::of(FileTypeKind::Pricing), "lblPRA" },
    { KFileList::of(FileTypeKind::Rebar), "lblRBA" }, { KFileList::of(FileTypeKind::Civil), "lblCVA" },
    { KFileList::of(FileTypeKind::Installation), "lblINA" },
    { KFileList::of(FileTypeKind::Other), "lblOther" },
    { KFileList::of(KListPage::SelfBackup), "lblSelfBack" } };

constexpr int TitleHeight = 30;
// An entry is 32 pixels high, with a dashed line under it.
constexpr int EntryStep = 33;

QLabel* sectionTitle(const char* name, const QString& text, int y, QWidget* parent)
{
    auto* title = new QLabel(text, parent);
    title->setObjectName(QString::fromLatin1(name));
    title->setGeometry(0, y, 159, TitleHeight);
    title->setStyleSheet(QStringLiteral("background: transparent;"));
    return title;
}

} // namespace

KTypeWidget::KTypeWidget(QWidget* parent)
    : QWidget(parent)
{
    const QString normal = KCommon::skinImagePath(QStringLiteral("group_item_normal.png"));
    const QString hot = KCommon::skinImagePath(QStringLiteral("group_item_hot.png"));
    int y = 0;
    const auto addEntries = [&](const auto& entries) {
        for (const Entry& entry : entries) {
            auto* label = new KFileTypeLabel(this);
            label->setObjectName(QString::fromLatin1(entry.name));
            label->setFileType(entry.type);
            label->setText(caption(entry.type).arg(0));
            label->setImages(normal, hot, hot);
            label->move(0, y);
            y += EntryStep;
            m_labels.insert(entry.type, label);
            connect(label, &KFileTypeLabel::sigClicked, this, &KTypeWidget::onLabelClicked);
        }
    };
    sectionTitle("lblRecentTitle",
        QStringLiteral("<font color=#666666>&nbsp;&nbsp;%1</font>").arg(tr("最近备份")), y, this);
    y += TitleHeight;
    addEntries(RecentEntries);
    sectionTitle("lblAllTitle",
        QStringLiteral("<font color=#666666>&nbsp;&nbsp;%1</font>").arg(tr("全部备份")), y, this);
    y += TitleHeight;
    addEntries(AllEntries);
    int entryWidth = m_columnWidth - 1;
    for (KFileTypeLabel* label : qAsConst(m_labels)) {
        entryWidth = std::max(entryWidth,
            label->fontMetrics().horizontalAdvance(caption(label->fileType()).arg(9999))
                + KFileTypeLabel::CaptionMargins);
    }
    m_columnWidth = entryWidth + 1;
    for (KFileTypeLabel* label : qAsConst(m_labels))
        label->setWidth(entryWidth);
    for (QLabel* title : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!qobject_cast<KFileTypeLabel*>(title))
            title->setFixedWidth(entryWidth);
    }
    setMinimumWidth(m_columnWidth);
}

QString KTypeWidget::caption(int type)
{
    switch (type) {
    case KFileList::of(FileTypeKind::Pricing):
        return tr("计价(%1)");
    case KFileList::of(FileTypeKind::Civil):
        return tr("土建(%1)");
    case KFileList::of(FileTypeKind::Rebar):
        return tr("钢筋(%1)");
    case KFileList::of(FileTypeKind::Installation):
        return tr("安装(%1)");
    case KFileList::of(FileTypeKind::Other):
        return tr("其他(%1)");
    case KFileList::of(KListPage::Today):
        return tr("今天(%1)");
    case KFileList::of(KListPage::Recent):
        return tr("最近三天(%1)");
    case KFileList::of(KListPage::SelfBackup):
        return tr("软件自备份(%1)");
    default:
        return QString();
    }
}

KFileTypeLabel* KTypeWidget::label(int type) const
{
    return m_labels.value(type);
}

void KTypeWidget::selectType(int type)
{
    if (KFileTypeLabel* entry = label(type))
        entry->selfClicked();
}

void KTypeWidget::onLabelClicked(int fileType)
{
    if (fileType == m_currentType)
        return;
    for (KFileTypeLabel* entry : qAsConst(m_labels)) {
        if (entry->fileType() != fileType)
            entry->setSelected(false);
    }
    m_currentType = fileType;
}

void KTypeWidget::onSetNumber(int nNumber, int nType)
{
    if (KFileTypeLabel* entry = label(nType))
        entry->setText(caption(nType).arg(nNumber));
}

void KTypeWidget::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.fillRect(rect(), QColor(242, 242, 242));
    QPen dashed(QColor(217, 217, 217), 1, Qt::DashLine);
    painter.setPen(dashed);
    for (const KFileTypeLabel* entry : qAsConst(m_labels)) {
        const int bottom = entry->geometry().bottom() + 1;
        painter.drawLine(0, bottom, width(), bottom);
    }
}
