#include "Widgets/miscode/ktablewidgetselfbackeditem.h"

#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/versions/krestoresteps.h"
#include "core/kcommon.h"
#include "platform/kfileops.h"
#include "service/kfileservicemanager.h"
#include "ui_ktablewidgetselfbackeditem.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

using KRestoreSteps::Outcome;

namespace {
constexpr int RevealDelayMs = 200;
}

KTableWidgetSelfBackedItem::KTableWidgetSelfBackedItem(const KServices& services, QWidget* parent)
    : KTableWidgetItemBase(parent)
    , m_services(services)
    , m_ui(new Ui::KTableWidgetSelfBackedItem)
{
    m_ui->setupUi(this);
    setItemType(ITEM_SELF_BACKED);
    setHoverBackground(m_ui->lblBG);
    m_ui->lblFileName->setTextColor(QColor(QStringLiteral("#333333")));
    m_ui->lblFileName->setHoverTextColor(Qt::blue);
    m_ui->lblBackBtn->setImages(KCommon::skinImagePath(QStringLiteral("找回至桌面常态.png")),
        KCommon::skinImagePath(QStringLiteral("找回至桌面鼠标hover.png")),
        KCommon::skinImagePath(QStringLiteral("找回至桌面鼠标hover.png")), QString());
    connect(m_ui->lblBackBtn, &KLabel::clicked, this, &KTableWidgetSelfBackedItem::onBackToDeskTop);
}

KTableWidgetSelfBackedItem::~KTableWidgetSelfBackedItem() = default;

void KTableWidgetSelfBackedItem::setData(const QStringList& texts)
{
    const QString path = texts.value(0);
    setKey(path);
    m_ui->lblFileName->setElidedText(QFileInfo(path).fileName());
    m_ui->lblFileName->setToolTip(path);
    m_ui->lblImg->setPixmap(KFileIconProvider::instance()->iconForFile(path).pixmap(32, 32));
    m_ui->lblDateTime->setText(texts.value(1));
}

void KTableWidgetSelfBackedItem::onBackToDeskTop()
{
    const QString source = key();
    if (!KFileOps::status(source).isFile) {
        KRestoreSteps::inform(window(), QMessageBox::Information, KRestoreSteps::missingBackupText());
        return;
    }
    QString target = KRestoreSteps::desktopTarget(m_services.platform, source);
    if (!KRestoreSteps::settleSameName(window(), &target))
        return;
    const Outcome outcome = KRestoreSteps::copyLoop(window(), m_services.platform, source, &target,
        [engine = m_services.engine, source](const QString& to) { return engine->restoreFile(source, to); });
    if (outcome == Outcome::CopyMissing) {
        KRestoreSteps::inform(window(), QMessageBox::Information, KRestoreSteps::missingBackupText());
    } else if (outcome == Outcome::Restored) {
        // The list may be refilled meanwhile; the timer holds the path, not the row.
        QTimer::singleShot(RevealDelayMs,
            [platform = m_services.platform, target] { KRestoreSteps::reveal(platform, target); });
    }
}
