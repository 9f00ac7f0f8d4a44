#include "Widgets/versions/kfileversiondlg.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/versions/ktablewidgetbackedfileitem.h"
#include "core/kfileobject.h"
#include "core/kfileservicemanager.h"
#include "core/ktimestamp.h"
#include "platform/kpaths.h"
#include "ui_kfileversiondlg.h"

#include <QFileInfo>
#include <QPainter>

namespace {

int g_openVersionDialogCount = 0;

QStringList rowTexts(const QString& fileName, const QString& fileId, bool damaged = false)
{
    constexpr int End = KFileCopyedObject::StampPosition + KFileCopyedObject::StampLength;
    const QStringView stamp = fileId.size() >= End
        ? QStringView(fileId).mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength)
        : QStringView();
    QStringList texts { fileName, fileId, KTimeStamp::toDisplayText(stamp) + QStringLiteral(" 备份成功") };
    if (damaged)
        texts << KTableWidgetBackedFileItem::damagedMark();
    return texts;
}

} // namespace

KFileVersionDlg::KFileVersionDlg(const QString& strFileName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_ui(new Ui::KFileVersionDlg)
    , m_strFileName(strFileName)
{
    ++g_openVersionDialogCount;
    m_ui->setupUi(this);
    m_ui->title->setSettingVisible(false);
    m_ui->title->setMinVisible(false);
    m_ui->title->setMixVisible(false);
    // The window carries its caption too, for the window manager and other programs.
    const QString caption = QStringLiteral("文件备份列表");
    m_ui->title->setTitle(caption);
    setWindowTitle(caption);
    connect(m_ui->title, &KSystemTitle::sigCloseClicked, this, &QWidget::close);

    m_ui->lblImage->setPixmap(KFileIconProvider::instance()->iconForFile(strFileName).pixmap(32, 32));
    const QString name = QFileInfo(strFileName).fileName();
    m_ui->lblFileName->setText(
        m_ui->lblFileName->fontMetrics().elidedText(name, Qt::ElideMiddle, m_ui->lblFileName->width()));
    m_ui->lblFileName->setToolTip(strFileName);
    m_ui->lblBusy->show();

    KTableWidget* table = m_ui->versionTableWidget;
    table->setColumnCount(1);
    table->setColumnWidth(0, table->width());
    connect(table, &KTableWidget::sigRowRemoved, this, &KFileVersionDlg::onRowRemoved);
    connect(KFileServiceManager::instance(), &KFileServiceManager::sigVersionAdded, this,
        &KFileVersionDlg::onVersionAdded);
    // Built once the dialog's event loop runs, so that the dialog shows before a long list.
    connect(
        this, &KFileVersionDlg::sigCreateTable, this, &KFileVersionDlg::onCreateTable, Qt::QueuedConnection);
    emit sigCreateTable();
}

KFileVersionDlg::~KFileVersionDlg()
{
    --g_openVersionDialogCount;
    // The pages held back their refreshes while the dialog was open.
    emit KFileServiceManager::instance()->sigUpdate();
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

void KFileVersionDlg::setCount(int count)
{
    m_ui->lblCount->setText(QString::number(count));
}

void KFileVersionDlg::onCreateTable()
{
    KFileServiceManager* engine = KFileServiceManager::instance();
    const auto record = engine->findFile(m_strFileName);
    if (!record) {
        setCount(0);
        close();
        return;
    }
    const QVector<KVersionId> versions = record->versions();
    setCount(versions.size());
    KTableWidget* table = m_ui->versionTableWidget;
    table->resetRows();
    for (const KVersionId& version : versions) {
        const QString id = version.text();
        table->addRow(id, rowTexts(m_strFileName, id, engine->isCopyDamaged(version)),
            KTableWidgetItemBase::ITEM_BACKED_FILE);
    }
    table->removeSurplusRows();
    m_ui->lblBusy->hide();
    m_built = true;
}

void KFileVersionDlg::onRowRemoved(QString strKey)
{
    Q_UNUSED(strKey)
    setCount(shownCount() - 1);
    writeManualTrace(QStringLiteral("删除一条备份"), QStringLiteral("备份列表"), QStringLiteral("Vaultkeep"));
}

void KFileVersionDlg::onVersionAdded(const QString& strFileName, const QString& strFileId)
{
    if (!m_built || KPaths::foldCase(strFileName) != KPaths::foldCase(m_strFileName))
        return;
    KTableWidget* table = m_ui->versionTableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->rowKey(row) == strFileId)
            return;
    }
    table->addRow(strFileId, rowTexts(m_strFileName, strFileId), KTableWidgetItemBase::ITEM_BACKED_FILE);
    setCount(shownCount() + 1);
}

void KFileVersionDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // The one-pixel grey frame of a frameless dialog.
    QPainter painter(this);
    painter.setPen(QColor(Qt::gray));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
