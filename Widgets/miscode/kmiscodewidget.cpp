#include "Widgets/miscode/kmiscodewidget.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/miscode/kfiletypelabel.h"
#include "Widgets/miscode/ktablewidgetfileitem.h"
#include "Widgets/miscode/ktablewidgetselfbackeditem.h"
#include "Widgets/table/knodatawidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "service/kfileservicemanager.h"
#include "ui_kmiscodewidget.h"

#include <QApplication>
#include <QLineEdit>

KMisCodeWidget::KMisCodeWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::KMisCodeWidget)
    , m_noData(new KNoDataWidget(this))
{
    m_ui->setupUi(this);
    m_noData->setObjectName(QStringLiteral("noDataWidget"));
    m_noData->setMode(0);
    m_noData->hide();
    m_ui->misCodePagingWidget->hide();

    m_ui->misCodeTableWidget->setColumnCount(1);
    m_ui->misCodeTableWidget->setRowFactory([this](int type, QWidget* viewport) -> KTableWidgetItemBase* {
        if (type == KTableWidgetItemBase::ITEM_FILE)
            return new KTableWidgetFileItem(m_services, viewport);
        if (type == KTableWidgetItemBase::ITEM_SELF_BACKED)
            return new KTableWidgetSelfBackedItem(m_services, viewport);
        return nullptr;
    });
    QApplication::setWheelScrollLines(1);
}

void KMisCodeWidget::setServices(const KServices& services)
{
    m_services = services;
    KFileServiceManager* engine = services.engine;
    connect(
        engine, &KFileServiceManager::sigAfxMisCodePreUpdate, this, &KMisCodeWidget::onAfxMisCodePreUpdate);
    connect(
        engine, &KFileServiceManager::sigAfxMisCodeEndUpdate, this, &KMisCodeWidget::onAfxMisCodeEndUpdate);
    connect(engine, &KFileServiceManager::sigAfxMisCodeAddRow, this, &KMisCodeWidget::onAfxMisCodeAddRow);
    connect(engine, &KFileServiceManager::sigAfxMisCodeCopyedAddRow, this,
        &KMisCodeWidget::onAfxMisCodeCopyedAddRow);
    connect(m_ui->misCodePagingWidget, &KPageSpliterWidget::pageChanged, engine,
        &KFileServiceManager::onShowPage);
    KTypeWidget* types = m_ui->typeWidget;
    // The column takes a click before the engine, so that the engine's answer finds the filter
    // already chosen.
    const QList<KFileTypeLabel*> labels = types->labels();
    for (KFileTypeLabel* label : labels) {
        connect(label, &KFileTypeLabel::sigClicked, types, &KTypeWidget::onLabelClicked);
        connect(label, &KFileTypeLabel::sigClicked, engine, &KFileServiceManager::onShowPageByType);
    }
    connect(engine, &KFileServiceManager::sigSetMiscodeTypeLabelNumber, types, &KTypeWidget::onSetNumber);
    connect(m_ui->editSearch, &QLineEdit::textChanged, engine, &KFileServiceManager::onSearch);
    types->onSetNumber(engine->selfBackupFileCount(), KFileList::of(KListPage::SelfBackup));
}

void KMisCodeWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    // The filter column, as wide as its captions need, then the list.
    const int c = m_ui->typeWidget->columnWidth();
    m_ui->typeWidget->setGeometry(0, 0, c, h);
    m_ui->line->setGeometry(c, 0, 1, h);
    m_ui->tableWidgetHeader->setGeometry(c + 1, 0, w - c - 2, 31);
    m_ui->misCodeTableWidget->setGeometry(c + 1, 29, w - c - 1, h - 55);
    m_ui->lblPageBG->setGeometry(c + 1, h - 27, w - c - 1, 27);
    m_ui->misCodePagingWidget->setGeometry(c + 4, h - 26, w - c - 7, 25);
    m_ui->editSearch->move(8, h - 38);
    m_ui->editSearch->raise();
    if (m_noData->isVisible())
        placePlaceholder();
}

void KMisCodeWidget::placePlaceholder()
{
    const int left = m_ui->line->geometry().right() + 1;
    m_noData->setGeometry(left, 0, m_ui->misCodeTableWidget->width(), m_ui->typeWidget->height());
}

KMisCodeWidget::~KMisCodeWidget() = default;

KTypeWidget* KMisCodeWidget::typeWidget() const
{
    return m_ui->typeWidget;
}

KTableHeader* KMisCodeWidget::tableHeader() const
{
    return m_ui->tableWidgetHeader;
}

KTableWidget* KMisCodeWidget::table() const
{
    return m_ui->misCodeTableWidget;
}

KPageSpliterWidget* KMisCodeWidget::pageBar() const
{
    return m_ui->misCodePagingWidget;
}

void KMisCodeWidget::onAfxMisCodePreUpdate(int nType, int nPageIndex)
{
    Q_UNUSED(nType)
    Q_UNUSED(nPageIndex)
    m_updateAccepted
        = KFileVersionDlg::openVersionDialogCount() < 1 && KYMessageBox::openMessageBoxCount() == 0;
    if (m_updateAccepted)
        m_ui->misCodeTableWidget->resetRows();
}

void KMisCodeWidget::onAfxMisCodeAddRow(const QString& strFileName, const QString& strBackedNumber,
    const QString& strLastBackedTime, int rowType, int nPageIndex)
{
    Q_UNUSED(nPageIndex)
    if (!m_updateAccepted)
        return;
    m_ui->tableWidgetHeader->setBackedNumberVisible(true);
    if (rowType == 0) {
        m_ui->misCodeTableWidget->addRow(strFileName, { strFileName, strBackedNumber, strLastBackedTime },
            KTableWidgetItemBase::ITEM_FILE);
    } else if (rowType == 1) {
        m_ui->misCodeTableWidget->addRow(strFileName, { strFileName }, KTableWidgetItemBase::ITEM_DATETIME);
    }
}

void KMisCodeWidget::onAfxMisCodeCopyedAddRow(
    const QString& strFileName, const QString& strDateTime, int nType, int nPageIndex, int nTotalPage)
{
    Q_UNUSED(nPageIndex)
    Q_UNUSED(nTotalPage)
    if (!m_updateAccepted || nType != KFileList::of(KListPage::SelfBackup))
        return;
    m_ui->tableWidgetHeader->setBackedNumberVisible(false);
    m_ui->misCodeTableWidget->addRow(
        strFileName, { strFileName, strDateTime }, KTableWidgetItemBase::ITEM_SELF_BACKED);
}

void KMisCodeWidget::onAfxMisCodeEndUpdate(
    int nType, int nSuccessNumberThisTime, int nFailedNumberThisTime, int nPageIndex, int nTotalPage)
{
    Q_UNUSED(nSuccessNumberThisTime)
    Q_UNUSED(nFailedNumberThisTime)
    if (!m_updateAccepted)
        return;
    m_ui->misCodeTableWidget->removeSurplusRows();
    const QString search = m_ui->editSearch->text();
    if (nType != m_shownType || nPageIndex != m_shownPage || search != m_shownSearch) {
        m_ui->misCodeTableWidget->scrollToTop();
        m_shownType = nType;
        m_shownPage = nPageIndex;
        m_shownSearch = search;
    }
    m_ui->misCodePagingWidget->setPages(nTotalPage, nPageIndex);
    const bool empty = nTotalPage == 0;
    if (empty) {
        placePlaceholder();
        m_noData->raise();
        m_ui->editSearch->raise();
    }
    m_noData->setVisible(empty);
    m_ui->tableWidgetHeader->setVisible(!empty);
    m_ui->misCodePagingWidget->setVisible(!empty);
    m_ui->lblPageBG->setVisible(!empty);
    // Last: selecting a filter asks the engine for its first page, which refreshes the list.
    if (m_ui->typeWidget->currentType() != nType)
        m_ui->typeWidget->selectType(nType);
}

void KMisCodeWidget::onShowFileVersionDlg(const QString& strFileName)
{
    {
        KFileVersionDlg dialog(strFileName, m_services, window());
        dialog.exec();
    }
    writeManualTrace(QStringLiteral("打开备份列表"), QStringLiteral("错编恢复"), QStringLiteral("Vaultkeep"));
}
