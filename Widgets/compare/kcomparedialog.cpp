#include "Widgets/compare/kcomparedialog.h"

#include "Widgets/compare/kcompareviews.h"
#include "Widgets/compare/kreadonlyopen.h"
#include "Widgets/dialogs/kdialogplacement.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "compare/kcomparetasks.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "platform/kfileops.h"
#include "ui_kcomparedialog.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QPainter>
#include <QShowEvent>
#include <QtConcurrent>

namespace {

const QString TimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QString versionPath(const QString& versionId)
{
    return KFileCopyedObject::isSafeFileId(versionId) ? KCommon::backupDirectory() + versionId : QString();
}

QString versionTime(const QString& versionId)
{
    KFileCopyedObject version;
    version.setFileId(versionId);
    return version.modifiedTime().toString(TimeFormat);
}

QString number(qint64 value)
{
    return QLocale(QLocale::Chinese, QLocale::China).toString(value);
}

void setUpTable(QTableView* table)
{
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->setStyleSheet(
        QStringLiteral("QTableView{border:none; border-top:1px solid #dfdfdf;}"
                       "QHeaderView::section{color:#a2a2a2; background-color:#fcfcfc; border:none;"
                       " border-bottom:1px solid #dfdfdf; padding:3px 4px;}"));
}

} // namespace

KCompareDialog::KCompareDialog(KPlatform* platform, const QString& fileName, const Side& before,
    const Side& after, const QString& versionPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_ui(new Ui::KCompareDialog)
    , m_fileName(fileName)
    , m_before(before)
    , m_after(after)
    , m_platform(platform)
    , m_versionPath(versionPath)
    , m_diffModel(new KDiffModel(this))
    , m_cellModel(new KCellModel(this))
{
    m_ui->setupUi(this);
    m_ui->title->setSettingVisible(false);
    m_ui->title->setMinVisible(false);
    const QString caption = tr("版本比较");
    m_ui->title->setTitle(caption);
    setWindowTitle(caption);
    connect(m_ui->title, &KSystemTitle::sigCloseClicked, this, &QWidget::close);

    m_ui->lblImage->setPixmap(KFileIconProvider::instance()->iconForFile(fileName).pixmap(32, 32));
    m_ui->lblFileName->setText(fileName);
    m_ui->lblFileName->setToolTip(fileName);
    m_ui->lblBeforeCaption->setText(m_before.title);
    m_ui->lblAfterCaption->setText(m_after.title);
    showSides(m_result);

    setUpTable(m_ui->diffView);
    m_ui->diffView->setModel(m_diffModel);
    m_ui->diffView->setItemDelegate(new KDiffDelegate(this));
    m_ui->diffView->horizontalHeader()->hide();
    m_ui->diffView->horizontalHeader()->setStretchLastSection(true);
    m_ui->diffView->setColumnWidth(KDiffModel::OldNumber, 48);
    m_ui->diffView->setColumnWidth(KDiffModel::NewNumber, 48);
    setUpTable(m_ui->cellView);
    // Room between the sheet and the cell, which fit their texts exactly.
    m_ui->cellView->setStyleSheet(
        m_ui->cellView->styleSheet() + QStringLiteral("QTableView::item{padding:0 4px;}"));
    m_ui->cellView->setModel(m_cellModel);
    QHeaderView* columns = m_ui->cellView->horizontalHeader();
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setMinimumSectionSize(60);
    columns->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(2, QHeaderView::Stretch);
    columns->setSectionResizeMode(3, QHeaderView::Stretch);

    m_ui->btnOpenCopy->setPicName(KCommon::skinImagePath(QStringLiteral("按扭背景.png")), 4);
    m_ui->btnOpenCopy->setFixedWidth(
        m_ui->btnOpenCopy->fontMetrics().horizontalAdvance(m_ui->btnOpenCopy->text()) + 32);
    m_ui->btnOpenCopy->setEnabled(!m_versionPath.isEmpty());
    connect(m_ui->btnOpenCopy, &QPushButton::clicked, this, [this] {
        m_ui->btnOpenCopy->setEnabled(false);
        KReadOnlyOpen::open(this, m_platform, m_versionPath, m_fileName,
            [this](bool) { m_ui->btnOpenCopy->setEnabled(true); });
    });

    m_ui->pages->setCurrentWidget(m_ui->pageBusy);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] { showResult(m_watcher.result()); });
    if (m_after.path.isEmpty() || m_before.path.isEmpty()) {
        KComparison nothing;
        nothing.problem = KCompareProblem::NothingToCompare;
        QMetaObject::invokeMethod(
            this, [this, nothing] { showResult(nothing); }, Qt::QueuedConnection);
        return;
    }
    const KCancel cancel = m_cancel;
    m_watcher.setFuture(QtConcurrent::run(KCompareTasks::pool(), [before, after, fileName, cancel] {
        return KComparer::compare(before.path, after.path, fileName, cancel);
    }));
}

KCompareDialog::~KCompareDialog()
{
    // The task ends on its own soon after; nothing waits for it.
    m_cancel.cancel();
}

KCompareDialog* KCompareDialog::openForVersion(QWidget* parent, KPlatform* platform,
    const QString& sourcePath, const QString& versionId, const QString& olderVersionId)
{
    const Side version { versionPath(versionId), tr("此版本"), versionTime(versionId) };
    Side before = version;
    Side after;
    const KFileStatus file = KFileOps::status(sourcePath);
    if (file.isFile) {
        after = { sourcePath, tr("当前文件"),
            QDateTime::fromMSecsSinceEpoch(file.modifiedMSecs).toString(TimeFormat) };
    } else if (!olderVersionId.isEmpty()) {
        before = { versionPath(olderVersionId), tr("上一版本"), versionTime(olderVersionId) };
        after = version;
    }
    auto* dialog
        = new KCompareDialog(platform, QFileInfo(sourcePath).fileName(), before, after, version.path, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

bool KCompareDialog::isBusy() const
{
    return m_busy;
}

QString KCompareDialog::problemText(KCompareProblem problem, const QString& detail)
{
    switch (problem) {
    case KCompareProblem::None:
    case KCompareProblem::Cancelled:
        return QString();
    case KCompareProblem::Unreadable:
        return tr("文件无法读取，它可能已被移动或删除。");
    case KCompareProblem::TooMuchText:
        return tr("内容过多（超过 %1 MB 或 %2 万行），只显示摘要。")
            .arg(KComparer::MaxTextBytes >> 20)
            .arg(KTextDiffer::MaxLines / 10000);
    case KCompareProblem::NotText:
        return tr("文件含有非文本内容。");
    case KCompareProblem::ArchiveTooLarge:
        return tr("文档超过 64 MB。");
    case KCompareProblem::TooManyEntries:
        return tr("文档内的条目过多，可能是恶意文件。");
    case KCompareProblem::BrokenArchive:
        return tr("文档已损坏，无法解压。");
    case KCompareProblem::UnsafeEntryName:
        return tr("文档内的条目“%1”指向文档之外，可能是恶意文件。").arg(detail);
    case KCompareProblem::MissingContent:
        return tr("文档缺少“%1”，可能已损坏。").arg(detail);
    case KCompareProblem::EntryTooLarge:
        return tr("文档内的条目“%1”超过 32 MB。").arg(detail);
    case KCompareProblem::ZipBomb:
        return tr("文档内的条目“%1”解压后异常膨胀，疑似压缩炸弹。").arg(detail);
    case KCompareProblem::BrokenXml:
        return tr("文档内容“%1”格式有误。").arg(detail);
    case KCompareProblem::ImageTooLarge:
        return tr("图片过大。");
    case KCompareProblem::BrokenImage:
        return tr("图片已损坏，或其格式不受支持。");
    case KCompareProblem::NothingToCompare:
        return tr("文件已不存在，也没有更早的版本可以比较。");
    }
    return QString();
}

QString KCompareDialog::verdict(const KComparison& result) const
{
    if (result.problem == KCompareProblem::TooMuchText)
        return problemText(result.problem, result.detail);
    if (result.problem != KCompareProblem::None)
        return tr("无法比较：%1").arg(problemText(result.problem, result.detail));
    if (result.bytes.same())
        return tr("两者内容完全相同。");
    switch (result.kind) {
    case KCompareKind::Text:
    case KCompareKind::Document:
        if (result.text.identical())
            return tr("文字相同，不同之处在格式、换行或编码上。");
        return tr("删除 %1 行，新增 %2 行。").arg(number(result.text.removed)).arg(number(result.text.added))
            + (result.text.approximate ? tr("改动较多，部分内容按整段显示。") : QString())
            + (result.text.truncated ? tr("只列出前 %1 行。").arg(number(result.text.lines.size()))
                                     : QString());
    case KCompareKind::Spreadsheet:
        if (result.changedCells == 0)
            return tr("单元格内容相同，不同之处在格式或其他内容上。");
        return tr("共 %1 个单元格不同。").arg(number(result.changedCells))
            + (result.cells.size() < result.changedCells
                    ? tr("只列出前 %1 个。").arg(number(result.cells.size()))
                    : QString());
    case KCompareKind::Image: {
        const KImageComparison& image = result.image;
        QString text
            = tr("共 %1 个像素不同，占 %2%。")
                  .arg(number(image.differingPixels))
                  .arg(image.pixels > 0 ? 100.0 * double(image.differingPixels) / double(image.pixels) : 0.0,
                      0, 'f', 1);
        if (image.beforeSize != image.afterSize) {
            text += tr("尺寸由 %1×%2 变为 %3×%4。")
                        .arg(image.beforeSize.width())
                        .arg(image.beforeSize.height())
                        .arg(image.afterSize.width())
                        .arg(image.afterSize.height());
        }
        return text;
    }
    case KCompareKind::Bytes:
        break;
    }
    return tr("此类文件无法逐项比较，以下是两者的摘要。");
}

// The two sides in the strip, with their sizes once they are known; the bytes below.
void KCompareDialog::showSides(const KComparison& result)
{
    const auto side = [](const Side& which, qint64 size) {
        return size >= 0 ? tr("%1：%2，%3").arg(which.title, which.time, KCommon::displaySize(size))
                         : tr("%1：%2").arg(which.title, which.time);
    };
    m_ui->lblBefore->setText(side(m_before, result.bytes.beforeSize));
    m_ui->lblAfter->setText(side(m_after, result.bytes.afterSize));
    m_ui->lblAfter->setVisible(!m_after.path.isEmpty());
    const KByteSummary& bytes = result.bytes;
    QString text;
    if (bytes.same())
        text = tr("逐字节比较：完全相同");
    else if (bytes.readable())
        text = tr("逐字节比较：从第 %1 个字节起不同").arg(number(bytes.firstDifference + 1));
    m_ui->lblBytes->setText(text);
}

void KCompareDialog::showResult(const KComparison& result)
{
    if (result.problem == KCompareProblem::Cancelled)
        return;
    m_busy = false;
    m_result = result;
    showSides(result);
    m_ui->lblVerdict->setText(verdict(result));
    QWidget* page = m_ui->pageSummary;
    if (result.problem == KCompareProblem::None && !result.bytes.same()) {
        switch (result.kind) {
        case KCompareKind::Text:
        case KCompareKind::Document:
            if (!result.text.identical()) {
                m_diffModel->setLines(result.text.lines);
                page = m_ui->pageLines;
            }
            break;
        case KCompareKind::Spreadsheet:
            if (result.changedCells > 0) {
                m_cellModel->setChanges(result.cells);
                page = m_ui->pageCells;
            }
            break;
        case KCompareKind::Image:
            m_ui->beforePicture->setImage(result.image.before);
            m_ui->afterPicture->setImage(result.image.after);
            m_ui->differencePicture->setImage(result.image.difference);
            page = m_ui->pagePictures;
            break;
        case KCompareKind::Bytes:
            break;
        }
    }
    if (page == m_ui->pageSummary) {
        QStringList lines { m_ui->lblBefore->text() };
        if (!m_after.path.isEmpty())
            lines << m_ui->lblAfter->text() << m_ui->lblBytes->text();
        m_ui->lblSummary->setText(lines.join(QLatin1Char('\n')));
        m_ui->lblBytes->clear();
    }
    m_ui->pages->setCurrentWidget(page);
    emit compared();
}

void KCompareDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        KDialogPlacement::centreOnParent(this);
    QDialog::showEvent(event);
}

void KCompareDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // The one-pixel grey frame of a frameless dialog.
    QPainter painter(this);
    painter.setPen(QColor(Qt::gray));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
