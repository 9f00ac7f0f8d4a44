#include "Widgets/versions/ktablewidgetbackedfileitem.h"

#include "Widgets/compare/kcomparedialog.h"
#include "Widgets/compare/kreadonlyopen.h"
#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kmenubutton.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "Widgets/versions/krestoresteps.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "platform/kfileops.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "ui_ktablewidgetbackedfileitem.h"

#include <QFileInfo>
#include <QHash>
#include <QMessageBox>

#include <algorithm>
#include <memory>

using KRestoreSteps::Outcome;

namespace {

// A link's width for its text, measured for the first row only: every row has the same links,
// and measuring styles the label before its row is shown.
int linkWidth(KClickLabel* link)
{
    static QHash<QPair<QString, QString>, int> measured;
    const QPair<QString, QString> key(link->text(), link->font().key());
    const auto found = measured.constFind(key);
    if (found != measured.cend())
        return *found;
    const int width = link->sizeHint().width();
    measured.insert(key, width);
    return width;
}

} // namespace

KTableWidgetBackedFileItem::KTableWidgetBackedFileItem(const KServices& services, QWidget* parent)
    : KTableWidgetItemBase(parent)
    , m_services(services)
    , m_ui(new Ui::KTableWidgetBackedFileItem)
{
    m_ui->setupUi(this);
    setItemType(ITEM_BACKED_FILE);
    paintHoverBackground();
    setTextColor(m_ui->lblBackedTime, QColor(0x52, 0x52, 0x52));
    setTextColor(m_ui->lblSize, QColor(0x8a, 0x8a, 0x8a));
    KRestoreSteps::setUpRowControls(this, m_ui->lblBtn, m_ui->lblDelete, { tr("恢复至原位置") });
    // A version is restored; the shared control's face says a deleted file is brought back.
    m_ui->lblBtn->menuButton()->leftButton()->setPixmap(
        KCommon::skinImagePath(QStringLiteral("恢复到桌面ab.png")), 2);
    // The links side by side at their texts' widths, never narrower than the form has them.
    int left = m_ui->lblCompare->x();
    const int gap = m_ui->lblOpenCopy->x() - m_ui->lblCompare->geometry().right() - 1;
    for (KClickLabel* link : { m_ui->lblCompare, m_ui->lblOpenCopy }) {
        link->setTextColor(QColor(0x00, 0x96, 0xff));
        link->setUnderlineOnHover(true);
        const int width = std::max(link->width(), linkWidth(link));
        link->setGeometry(left, link->y(), width, link->height());
        left += width + gap;
    }
    m_ui->lblCompare->setToolTip(tr("查看此版本与当前文件的不同"));
    m_ui->lblOpenCopy->setToolTip(tr("用默认程序打开此版本的只读副本，不会改动备份"));
    connect(m_ui->lblCompare, &KClickLabel::clicked, this, &KTableWidgetBackedFileItem::onCompare);
    connect(m_ui->lblOpenCopy, &KClickLabel::clicked, this, &KTableWidgetBackedFileItem::onOpenReadOnly);
    // The links sit where a restore shows its progress and result.
    connect(m_ui->lblBtn, &KFindBackLabel::stateChanged, this, [this](int state) {
        m_ui->lblCompare->setVisible(state == 1);
        m_ui->lblOpenCopy->setVisible(state == 1);
    });
}

KTableWidgetBackedFileItem::~KTableWidgetBackedFileItem() = default;

KFindBackLabel* KTableWidgetBackedFileItem::findBackLabel() const
{
    return m_ui->lblBtn;
}

void KTableWidgetBackedFileItem::setData(const QStringList& texts)
{
    m_sourcePath = texts.value(SourcePath);
    m_versionId = texts.value(VersionId);
    m_ui->lblBackedTime->setText(KFileVersionDlg::backupTimeText(m_versionId));
    m_ui->lblSize->setText(texts.value(SizeText));
    const bool newest = texts.value(Newest) == QLatin1String("1");
    if (newest || m_newest) {
        // The mark follows the size, whatever its width.
        QLabel* mark = newestMark();
        mark->move(
            m_ui->lblSize->x() + m_ui->lblSize->fontMetrics().horizontalAdvance(texts.value(SizeText)) + 12,
            mark->y());
        mark->setVisible(newest);
    }
    m_targetPath = texts.value(RestoredTo);
    const bool restored = !m_targetPath.isEmpty();
    if (restored)
        m_ui->lblBtn->setResultText(texts.value(ResultText), m_targetPath);
    m_ui->lblBtn->setState(restored ? 3 : 1);
    m_ui->lblDelete->setVisible(!restored);
    m_damaged = false;
    m_missing = texts.value(CopyMissing) == QLatin1String("1");
    m_ui->lblBtn->show();
    if (texts.value(CopyDamaged) == QLatin1String("1"))
        setDamaged();
    showFetchOffer();
}

bool KTableWidgetBackedFileItem::offersFetch() const
{
    return (m_damaged || m_missing) && m_services.offsite && m_services.offsite->canFetch();
}

QLabel* KTableWidgetBackedFileItem::newestMark()
{
    // Made for the one row that shows it, as the fetch link is.
    if (!m_newest) {
        m_newest = new QLabel(tr("最新版本"), this);
        m_newest->setObjectName(QStringLiteral("lblNewest"));
        m_newest->setGeometry(100, 24, 120, 17);
        setTextColor(m_newest, QColor(0x68, 0xbe, 0x21));
    }
    return m_newest;
}

KClickLabel* KTableWidgetBackedFileItem::fetchLink()
{
    // Made for the few rows that offer it: every row made costs the list's opening.
    if (!m_fetch) {
        m_fetch = new KClickLabel(this);
        m_fetch->setObjectName(QStringLiteral("lblFetch"));
        m_fetch->setGeometry(302, 13, 190, 19);
        m_fetch->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_fetch->setUnderlineOnHover(true);
        m_fetch->setToolTip(tr("从异地备份取回此版本的备份文件，之后即可恢复"));
        connect(m_fetch, &KClickLabel::clicked, this, &KTableWidgetBackedFileItem::onFetch);
    }
    return m_fetch;
}

void KTableWidgetBackedFileItem::showFetchOffer()
{
    if (!offersFetch()) {
        if (m_fetch)
            m_fetch->hide();
        return;
    }
    m_ui->lblBtn->hide();
    m_ui->lblCompare->hide();
    m_ui->lblOpenCopy->hide();
    KClickLabel* fetch = fetchLink();
    fetch->setEnabled(!m_fetching);
    fetch->setTextColor(m_fetching ? QColor(Qt::gray) : QColor(0x00, 0x96, 0xff));
    fetch->setText(m_fetching ? tr("正在从异地备份找回…") : tr("从异地备份找回"));
    fetch->show();
}

void KTableWidgetBackedFileItem::setDamaged()
{
    if (m_damaged)
        return;
    m_damaged = true;
    m_ui->lblBackedTime->setText(m_ui->lblBackedTime->text() + tr("  备份文件已损坏"));
    m_ui->lblBtn->hide();
    showFetchOffer();
}

void KTableWidgetBackedFileItem::dropMissingVersion()
{
    m_missing = true;
    if (offersFetch()) {
        KRestoreSteps::inform(window(), QMessageBox::Information, tr("备份文件丢失，可以从异地备份找回。"));
        showFetchOffer();
        return;
    }
    KRestoreSteps::inform(window(), QMessageBox::Information, KRestoreSteps::missingBackupText());
    emit sigRemove(key());
}

void KTableWidgetBackedFileItem::onFetch()
{
    KOffsiteService* offsite = m_services.offsite;
    if (!offsite || m_fetching)
        return;
    m_fetching = true;
    showFetchOffer();
    const QString versionId = m_versionId;
    auto answer = std::make_shared<QMetaObject::Connection>();
    *answer = connect(offsite, &KOffsiteService::versionFetched, this,
        [this, answer, versionId](const QString& fileId, KOffsiteProblem problem) {
            if (fileId != versionId)
                return;
            disconnect(*answer);
            m_fetching = false;
            if (problem != KOffsiteProblem::None) {
                showFetchOffer();
                KRestoreSteps::inform(
                    window(), QMessageBox::Warning, KRestoreSteps::offsiteFetchFailedText(problem));
                return;
            }
            // The list is built again: the row offers the restore of a whole copy.
            if (auto* dialog = qobject_cast<KFileVersionDlg*>(window()))
                dialog->rebuildLater();
        });
    offsite->fetchVersion(
        versionId, m_services.engine->copySum(versionId), KCommon::backupDirectory() + versionId);
}

void KTableWidgetBackedFileItem::onToSrcPlace()
{
    if (!KFileCopyedObject::backupFileExists(m_versionId)) {
        dropMissingVersion();
        return;
    }
    m_targetPath = m_sourcePath;
    m_ui->lblBtn->setState(2);
    if (KFileOps::status(m_targetPath).exists
        && KRestoreSteps::ask(window(), tr("恢复到原位置"),
               tr("这会覆盖您原有的工程文件，确定要恢复到原位置吗？"), tr("确定覆盖"), tr("取消"))
            != 1) {
        m_ui->lblBtn->setState(1);
        return;
    }
    copyAndShow();
}

void KTableWidgetBackedFileItem::onToDeskTop()
{
    if (!KFileCopyedObject::backupFileExists(m_versionId)) {
        dropMissingVersion();
        return;
    }
    m_ui->lblBtn->setState(2);
    m_targetPath = KRestoreSteps::desktopTarget(m_services.platform, m_sourcePath);
    if (!KRestoreSteps::settleSameName(window(), &m_targetPath)) {
        m_ui->lblBtn->setState(1);
        return;
    }
    copyAndShow();
}

void KTableWidgetBackedFileItem::copyAndShow()
{
    const QString versionId = m_versionId;
    const Outcome outcome = KRestoreSteps::copyLoop(window(), m_services.platform, m_sourcePath,
        &m_targetPath, [engine = m_services.engine, versionId](const QString& target) {
            return engine->restoreVersion(versionId, target);
        });
    QString result;
    switch (outcome) {
    case Outcome::Restored:
        result = KRestoreSteps::resultText(m_services.platform, m_sourcePath, m_targetPath,
            tr("恭喜！文件已成功恢复"), tr("恭喜！文件已恢复到桌面"));
        m_ui->lblBtn->setResultText(result, m_targetPath);
        m_ui->lblBtn->setState(3);
        m_ui->lblDelete->hide();
        break;
    case Outcome::CopyMissing:
        m_ui->lblBtn->setState(1);
        dropMissingVersion();
        return;
    case Outcome::Damaged:
        m_ui->lblBtn->setState(1);
        setDamaged();
        break;
    case Outcome::GaveUp:
        m_ui->lblBtn->setState(1);
        break;
    }
    // Last: the dialog then lists the versions again, with any this restore kept.
    if (auto* dialog = qobject_cast<KFileVersionDlg*>(window()))
        dialog->onRestoreEnded(versionId, outcome == Outcome::Restored ? m_targetPath : QString(), result);
}

void KTableWidgetBackedFileItem::onOpenFolder()
{
    if (!KRestoreSteps::reveal(m_services.platform, m_targetPath))
        KRestoreSteps::inform(window(), QMessageBox::Warning, KRestoreSteps::openFailedText());
}

void KTableWidgetBackedFileItem::onDelete()
{
    if (KRestoreSteps::ask(window(), tr("删除备份"), tr("是否删除该备份文件？"), tr("确定"), tr("取消"))
        != 1) {
        return;
    }
    if (m_services.engine->removeVersion(m_versionId))
        emit sigRemove(m_versionId);
    else
        KRestoreSteps::inform(window(), QMessageBox::Information, tr("对不起，文件删除失败！"));
}

void KTableWidgetBackedFileItem::onCompare()
{
    if (!KFileCopyedObject::backupFileExists(m_versionId)) {
        dropMissingVersion();
        return;
    }
    const auto* dialog = qobject_cast<KFileVersionDlg*>(window());
    KCompareDialog::openForVersion(window(), m_services.platform, m_sourcePath, m_versionId,
        dialog ? dialog->olderVersion(m_versionId) : QString());
}

void KTableWidgetBackedFileItem::onOpenReadOnly()
{
    if (!KFileCopyedObject::backupFileExists(m_versionId)) {
        dropMissingVersion();
        return;
    }
    m_ui->lblOpenCopy->setEnabled(false);
    KReadOnlyOpen::open(this, m_services.platform, KCommon::backupDirectory() + m_versionId,
        QFileInfo(m_sourcePath).fileName(), [this](bool) { m_ui->lblOpenCopy->setEnabled(true); });
}
