#include "Widgets/versions/kfileversiondlg.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/dialogs/kdialogplacement.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/versions/krestoresteps.h"
#include "Widgets/versions/ktablewidgetbackedfileitem.h"
#include "compare/kcomparetasks.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/ktimestamp.h"
#include "platform/kfileio.h"
#include "service/kfileservicemanager.h"
#include "ui_kfileversiondlg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>

// When a list is built: rows arrive after the dialog shows, which a driver of the window waits for.
Q_LOGGING_CATEGORY(vkVersionList, "vaultkeep.ui.versions", QtWarningMsg)

namespace {

int g_openVersionDialogCount = 0;
constexpr int BusyTextDelayMs = 150;

} // namespace

QString KFileVersionDlg::backupTimeText(const QString& fileId)
{
    constexpr int End = KFileCopyedObject::StampPosition + KFileCopyedObject::StampLength;
    const QStringView stamp = fileId.size() >= End
        ? QStringView(fileId).mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength)
        : QStringView();
    return KTimeStamp::toDisplayText(stamp) + tr(" 备份成功");
}

KFileVersionDlg::KFileVersionDlg(const QString& strFileName, const KServices& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_ui(new Ui::KFileVersionDlg)
    , m_strFileName(strFileName)
    , m_services(services)
{
    ++g_openVersionDialogCount;
    // The copies are read on another thread while the form is made and first painted; the list
    // is built from them once the dialog's event loop runs.
    if (const KFileObjectPtr record = m_services.engine->findFile(m_strFileName))
        listVersions(record->versions());
    m_ui->setupUi(this);
    // Palettes rather than style sheets: a sheet makes each control dear to create and paint.
    m_ui->lblInfoBG->setAutoFillBackground(true);
    QPalette band = m_ui->lblInfoBG->palette();
    band.setColor(QPalette::Window, QColor(0xf6, 0xf6, 0xf6));
    m_ui->lblInfoBG->setPalette(band);
    for (QLabel* text : { m_ui->lblBackedText, m_ui->lblTimesText })
        KTableWidgetItemBase::setTextColor(text, QColor(0x52, 0x52, 0x52));
    KTableWidgetItemBase::setTextColor(m_ui->lblBusy, QColor(0x80, 0x80, 0x80));
    KTableWidgetItemBase::setTextColor(m_ui->lblFileName, QColor(0x33, 0x33, 0x33));
    KTableWidgetItemBase::setTextColor(m_ui->lblCount, QColor(0x00, 0x96, 0xff));
    for (QLabel* bold : { m_ui->lblFileName, m_ui->lblCount }) {
        QFont font = bold->font();
        font.setBold(true);
        bold->setFont(font);
    }
    m_ui->title->setSettingVisible(false);
    m_ui->title->setMinVisible(false);
    m_ui->title->setMixVisible(false);
    // The window carries its caption too, for the window manager and other programs.
    const QString caption = tr("文件备份列表");
    m_ui->title->setTitle(caption);
    setWindowTitle(caption);
    connect(m_ui->title, &KSystemTitle::sigCloseClicked, this, &QWidget::close);

    // "<backed up> <count> <times>" ends where the form puts it; longer words take room from the
    // file's name on its left.
    int right = m_ui->lblTimesText->geometry().right() + 1;
    for (QLabel* piece : { m_ui->lblTimesText, m_ui->lblCount, m_ui->lblBackedText }) {
        const QRect designed = piece->geometry();
        const int gap = right - designed.right() - 1;
        const int width = std::max(designed.width(), piece->sizeHint().width());
        piece->setGeometry(right - gap - width, designed.y(), width, designed.height());
        right = piece->x();
    }
    const int nameRight = std::min(m_ui->lblFileName->geometry().right(), m_ui->lblBackedText->x() - 8);
    m_ui->lblFileName->setFixedWidth(nameRight + 1 - m_ui->lblFileName->x());

    m_ui->lblImage->setPixmap(KFileIconProvider::instance()->iconForFile(strFileName).pixmap(32, 32));
    const QString name = QFileInfo(strFileName).fileName();
    m_ui->lblFileName->setText(
        m_ui->lblFileName->fontMetrics().elidedText(name, Qt::ElideMiddle, m_ui->lblFileName->width()));
    m_ui->lblFileName->setToolTip(strFileName);
    m_ui->lblBusy->show();

    KTableWidget* table = m_ui->versionTableWidget;
    table->setColumnCount(1);
    table->setColumnWidth(0, table->width());
    table->setRowFactory([this](int type, QWidget* viewport) -> KTableWidgetItemBase* {
        return type == KTableWidgetItemBase::ITEM_BACKED_FILE
            ? new KTableWidgetBackedFileItem(m_services, viewport)
            : nullptr;
    });
    connect(table, &KTableWidget::sigRowRemoved, this, &KFileVersionDlg::onRowRemoved);
    connect(
        this, &KFileVersionDlg::sigCreateTable, this, &KFileVersionDlg::onCreateTable, Qt::QueuedConnection);
    // A file without a record closes the dialog once it runs.
    if (!m_built)
        emit sigCreateTable();
    // The rows usually come within milliseconds of the dialog showing: it is painted once with
    // them rather than empty first. A slow disk gets the busy text after a moment.
    setUpdatesEnabled(false);
    QTimer::singleShot(BusyTextDelayMs, this, [this] { setUpdatesEnabled(true); });
}

KFileVersionDlg::~KFileVersionDlg()
{
    --g_openVersionDialogCount;
    // The pages held back their refreshes while the dialog was open. They refresh once the
    // opener's stack has unwound: the row that opened the dialog may be refilled or go.
    KFileServiceManager* engine = m_services.engine;
    QTimer::singleShot(0, engine, [engine] { emit engine->sigUpdate(); });
}

int KFileVersionDlg::openVersionDialogCount()
{
    return g_openVersionDialogCount;
}

KTableWidget* KFileVersionDlg::versionTable() const
{
    return m_ui->versionTableWidget;
}

int KFileVersionDlg::shownCount() const
{
    return m_ui->lblCount->text().toInt();
}

int KFileVersionDlg::exec()
{
    KFileServiceManager* engine = m_services.engine;
    if (!engine->findFile(m_strFileName)) {
        KRestoreSteps::inform(parentWidget(), QMessageBox::Information,
            notProtectedText(m_strFileName, engine->whyNotProtected(m_strFileName)));
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

QString KFileVersionDlg::notProtectedText(const QString& path, const KUnprotectedReason& why)
{
    const QString name = QFileInfo(path).fileName();
    switch (why.reason) {
    case KUnprotectedReason::Protected:
        break;
    case KUnprotectedReason::Missing:
        return tr("找不到“%1”，它没有备份。").arg(name);
    case KUnprotectedReason::TypeNotProtected:
        return tr("“%1”未受保护：Vaultkeep不保护“.%2”类型的文件。").arg(name, QFileInfo(path).suffix());
    case KUnprotectedReason::ExcludedFolder:
        return tr("“%1”未受保护：它所在的文件夹“%2”已在设置中排除。")
            .arg(name, QDir::toNativeSeparators(why.folder));
    case KUnprotectedReason::NotListed:
        return tr("“%1”未受保护：没有程序在最近文件里列出它。用编辑它的程序保存一次，即可受到保护。")
            .arg(name);
    case KUnprotectedReason::NotChangedRecently:
        return tr("“%1”尚无备份：它七天内没有改动，Vaultkeep只备份七天内改动过的文件。").arg(name);
    case KUnprotectedReason::WaitingForBackup:
        return tr("“%1”尚无备份：Vaultkeep会在下次备份时（几分钟内）为它备份。").arg(name);
    }
    return tr("“%1”已受保护。").arg(name);
}

void KFileVersionDlg::setCount(int count)
{
    m_ui->lblCount->setText(QString::number(count));
}

QString KFileVersionDlg::sizeText(const KVersionId& version, const KFileStatus& copy)
{
    if (copy.exists)
        return KCommon::displaySize(copy.size);
    // The size the copy had, so that the user knows what the off-site copy would bring back.
    const KContentSum recorded = version.sum();
    return recorded.isKnown() ? tr("%1 已丢失").arg(KCommon::displaySize(recorded.size)) : missingText();
}

QString KFileVersionDlg::missingText()
{
    return tr("已丢失");
}

KFileVersionDlg::Rows KFileVersionDlg::listRows(KFileServiceManager* engine, const QString& fileName,
    const QString& backupFolder, const QVector<KVersionId>& recorded)
{
    // Newest backup first, by the times the keys hold, without making and comparing texts; a
    // FileID of another form orders by its text as the deleted page orders it.
    QVector<KVersionId> versions = recorded;
    const bool ownForm = std::all_of(versions.cbegin(), versions.cend(),
        [](const KVersionId& version) { return version.backupDate() >= 0 && version.stamp() >= 0; });
    if (ownForm) {
        std::sort(versions.begin(), versions.end(), [](const KVersionId& a, const KVersionId& b) {
            if (a.backupDate() != b.backupDate())
                return a.backupDate() > b.backupDate();
            if (a.stamp() != b.stamp())
                return a.stamp() > b.stamp();
            return b < a;
        });
        versions.erase(std::unique(versions.begin(), versions.end()), versions.end());
    } else {
        QHash<QString, KVersionId> byId;
        for (const KVersionId& version : recorded)
            byId.insert(version.text(), version);
        versions.clear();
        for (const QString& id : KRestoreSteps::newestFirst(byId.keys()))
            versions.append(byId.value(id));
    }
    Rows rows;
    rows.ids.reserve(versions.size());
    rows.texts.reserve(versions.size());
    const QString one = QStringLiteral("1");
    const QString missing = missingText();
    // Each copy looked up by its name in the open folder: no path built, and one lookup each.
    const KFd folder = KFileIO::openFolder(backupFolder);
    char compact[KVersionId::TextLength + 1];
    for (const KVersionId& version : qAsConst(versions)) {
        const QString id = version.text();
        KFileStatus copy;
        if (version.writeText(compact) == KVersionId::TextLength) {
            compact[KVersionId::TextLength] = '\0';
            copy = KFileIO::statusIn(folder, compact);
        } else if (KFileCopyedObject::isSafeFileId(id)) {
            copy = KFileIO::statusIn(folder, QFile::encodeName(id).constData());
        }
        rows.ids.append(id);
        rows.texts.append(
            { fileName, id, copy.exists || version.sum().isKnown() ? sizeText(version, copy) : missing,
                rows.texts.isEmpty() ? one : QString(), QString(), QString(),
                engine->isCopyDamaged(version, copy) ? one : QString(), copy.exists ? QString() : one });
    }
    return rows;
}

void KFileVersionDlg::onCreateTable()
{
    m_rebuildPending = false;
    const auto record = m_services.engine->findFile(m_strFileName);
    // A file that lost its record before the list was first built closes the dialog; one whose
    // last version was deleted here leaves it open, empty.
    if (!record && !m_built) {
        setCount(0);
        close();
        return;
    }
    listVersions(record ? record->versions() : QVector<KVersionId>());
}

void KFileVersionDlg::listVersions(const QVector<KVersionId>& recorded)
{
    m_built = true;
    // The rows are made on another thread, which looks at the copies; the list is built from
    // them unless a newer build was asked for meanwhile.
    const int build = ++m_builds;
    auto* making = new QFutureWatcher<Rows>(this);
    connect(making, &QFutureWatcherBase::finished, this, [this, making, build] {
        making->deleteLater();
        if (build == m_builds)
            fillTable(making->result());
    });
    making->setFuture(QtConcurrent::run(KCompareTasks::pool(), &KFileVersionDlg::listRows, m_services.engine,
        m_strFileName, KCommon::backupDirectory(), recorded));
}

void KFileVersionDlg::fillTable(Rows rows)
{
    using Text = KTableWidgetBackedFileItem::Text;
    setCount(rows.ids.size());
    KTableWidget* table = m_ui->versionTableWidget;
    table->resetRows();
    for (int i = 0; i < rows.ids.size(); ++i) {
        const QString& id = rows.ids.at(i);
        const auto restored = m_restored.constFind(id);
        if (restored != m_restored.cend()) {
            rows.texts[i][Text::RestoredTo] = restored->target;
            rows.texts[i][Text::ResultText] = restored->message;
        }
        table->addRow(id, rows.texts.at(i), KTableWidgetItemBase::ITEM_BACKED_FILE);
    }
    table->removeSurplusRows();
    m_ui->lblBusy->hide();
    qCDebug(vkVersionList) << "version list built:" << rows.ids.size() << "rows";
    setUpdatesEnabled(true);
    emit sigListBuilt();
}

void KFileVersionDlg::onRowRemoved(QString strKey)
{
    m_restored.remove(strKey);
    setCount(shownCount() - 1);
    writeManualTrace(QStringLiteral("删除一条备份"), QStringLiteral("备份列表"), QStringLiteral("Vaultkeep"));
    // The newest version may be the one gone.
    rebuildLater();
}

void KFileVersionDlg::onRestoreEnded(const QString& fileId, const QString& target, const QString& message)
{
    if (!target.isEmpty()) {
        m_restored.insert(fileId, { target, message });
        emit sigVersionRestored(target, message);
    }
    rebuildLater();
}

QString KFileVersionDlg::olderVersion(const QString& fileId) const
{
    const KTableWidget* table = m_ui->versionTableWidget;
    for (int row = 0; row + 1 < table->rowCount(); ++row) {
        if (table->rowKey(row) == fileId)
            return table->rowKey(row + 1);
    }
    return QString();
}

void KFileVersionDlg::rebuildLater()
{
    if (m_rebuildPending)
        return;
    m_rebuildPending = true;
    QTimer::singleShot(0, this, &KFileVersionDlg::onCreateTable);
}

void KFileVersionDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        KDialogPlacement::centreOnParent(this);
    QDialog::showEvent(event);
}

void KFileVersionDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // The one-pixel grey frame of a frameless dialog; not a style sheet, which would restyle
    // every control in the dialog.
    QPainter painter(this);
    painter.setPen(QColor(Qt::gray));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
