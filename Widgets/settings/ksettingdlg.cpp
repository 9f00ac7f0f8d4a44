#include "Widgets/settings/ksettingdlg.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/home/kdrivename.h"
#include "Widgets/settings/kcleandlg.h"
#include "Widgets/settings/koffsitedlg.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/klogging.h"
#include "core/kuilanguage.h"
#include "discovery/kdiskfilemanager.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"
#include "storage/kbackupfoldermove.h"
#include "ui_ksettingdlg.h"

#include <QDoubleValidator>
#include <QKeyEvent>

#include <algorithm>
#include <limits>

namespace {

constexpr double BytesPerGiB = 1024.0 * 1024.0 * 1024.0;
// The style sheet's drop-down arrow picture, 14 pixels, and its margin.
constexpr int ArrowRoom = 20;
// Drives with this much free space or less are marked as short of room.
constexpr quint32 ShortOfRoomMiB = 150;

const QString SettingsPage = QStringLiteral("设置对话框");
const QString Product = QStringLiteral("Vaultkeep");

} // namespace

KSettingDlg::KSettingDlg(const KServices& services, QWidget* parent)
    : KDialogBaseWidget(parent)
    , m_services(services)
    , m_ui(new Ui::KSettingDlg)
{
    m_ui->setupUi(this);
    const QString background = KCommon::skinImagePath(QStringLiteral("按扭背景.png"));
    for (KCustomButton* button : { m_ui->btnQuickClean, m_ui->btnOffsite, m_ui->btnOk, m_ui->btnCancel })
        button->setPicName(background, 4);
    m_ui->cbxSavePath->setStyleSheet(
        QStringLiteral(
            "QComboBox{border:1px solid gray;font:bold;}QComboBox QAbstractItemView::item{height:28px;}"
            "QComboBox::down-arrow{image:url(%1);}QComboBox::down-arrow:hover{image:url(%2);}"
            "QComboBox::drop-down{border:0px;}")
            .arg(KCommon::skinImagePath(QStringLiteral("下拉菜单三角.png")),
                KCommon::skinImagePath(QStringLiteral("下拉菜单三角-鼠标移上去.png"))));

    // A drive's line is as long as its language makes it; the dialog widens for it, never cuts it.
    m_ui->cbxSavePath->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_ui->cbxSavePath->ensurePolished(); // measured in the style sheet's bold font

    connect(m_ui->cbxSavePath, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        &KSettingDlg::onSavePathIndexChanged);
    connect(m_ui->editTipSize, &QLineEdit::textChanged, this, &KSettingDlg::onInputChanged);
    connect(m_ui->chkTipSize, &QCheckBox::stateChanged, this, &KSettingDlg::onCBoxStateChanged);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->btnOk, &QPushButton::clicked, this, &KSettingDlg::onSave);
    connect(m_ui->editTipSize, &QLineEdit::returnPressed, this, &KSettingDlg::onSave);
    connect(m_ui->btnQuickClean, &QPushButton::clicked, this, &KSettingDlg::onShowCreanDlg);
    connect(m_ui->btnOffsite, &QPushButton::clicked, this, &KSettingDlg::onShowOffsiteDlg);
    m_ui->btnOffsite->setVisible(m_services.offsite != nullptr);
    connect(this, &KSettingDlg::sigGetBackedFilesSize, this, &KSettingDlg::onGetBackedFilesSize,
        Qt::QueuedConnection);
    initialise();
    // The combo's own measure leaves out the drop-down arrow the style sheet draws.
    m_ui->cbxSavePath->setMinimumWidth(m_ui->cbxSavePath->sizeHint().width() + ArrowRoom);
    fixSize();
    setTitle(tr("设置"));
    emit sigGetBackedFilesSize();
}

KSettingDlg::~KSettingDlg() = default;

void KSettingDlg::initialise()
{
    KConfig* config = m_services.config;
    const bool reminder = config->tipSizeEnabled();
    m_ui->chkTipSize->setChecked(reminder);
    m_ui->editTipSize->setEnabled(reminder);
    m_ui->chkAutoClean->setChecked(config->autoClean7Days());
    m_ui->chkDesktopNotifications->setChecked(config->tipsAsNotifications());
    // Each language by its own name.
    using KUiLanguage::Choice;
    m_ui->cbxLanguage->addItem(tr("跟随系统"), int(Choice::System));
    m_ui->cbxLanguage->addItem(QStringLiteral("中文"), int(Choice::Chinese));
    m_ui->cbxLanguage->addItem(QStringLiteral("English"), int(Choice::English));
    m_ui->cbxLanguage->setCurrentIndex(
        m_ui->cbxLanguage->findData(int(KUiLanguage::storedChoice(languageFile()))));

    const QString systemRoot = KCommon::systemDriveRoot();
    const QString home = m_services.platform->homeFolder();
    const QList<KDriveRecord> drives = KCommon::drives();
    for (const KDriveRecord& drive : drives) {
        const QString freeGiB = QString::number(drive.freeMiB * (1.0 / 1024), 'f', 1);
        QString suffix;
        if (!systemRoot.isEmpty() && drive.root == systemRoot)
            suffix = tr(" (系统盘，不建议使用)");
        else if (drive.freeMiB <= ShortOfRoomMiB)
            suffix = tr("(不足)");
        else
            suffix = tr("(充足)");
        m_freeGiB.insert(drive.root, freeGiB);
        m_ui->cbxSavePath->addItem(
            tr("%1  %2G空闲%3").arg(KDriveName::of(drive.root, home), freeGiB, suffix), drive.root);
    }
    const QString backupPath = config->backUpPath();
    m_ui->cbxSavePath->setCurrentIndex(m_ui->cbxSavePath->findData(backupPath));

    m_ui->editTipSize->setText(QString::number(config->tipSize() * (1.0 / BytesPerGiB), 'f', 1));
    m_validator = new QDoubleValidator(0.0, 0.0, 1, m_ui->editTipSize);
    m_validator->setNotation(QDoubleValidator::StandardNotation);
    // The same decimal point the text is read with, whatever the user's locale.
    m_validator->setLocale(QLocale::c());
    m_ui->editTipSize->setValidator(m_validator);
    showRangeOf(m_ui->cbxSavePath->currentData().toString());
    m_ui->editTipSize->setFocus();
}

void KSettingDlg::showRangeOf(const QString& root)
{
    // A drive with less room than the smallest size still takes the smallest, which reminds at
    // once, rather than a range that ends below its start and refuses every size.
    m_upperBound = std::max(MinimumTipGiB, m_freeGiB.value(root).toDouble());
    const QString upper = QString::number(m_upperBound, 'f', 1);
    m_ui->lblTipRange->setText(tr("(0.5G-%1G)").arg(upper));
    if (m_validator)
        m_validator->setTop(m_upperBound);
}

void KSettingDlg::onGetBackedFilesSize()
{
    m_ui->lblBackedSize->setText(KCommon::displaySize(m_services.engine->totalBackupSize()));
}

void KSettingDlg::onShowCreanDlg()
{
    writeManualTrace(QStringLiteral("打开快速清理对话框"), SettingsPage, Product);
    KCleanDlg dialog(m_services, this);
    dialog.exec();
    onGetBackedFilesSize();
}

void KSettingDlg::onShowOffsiteDlg()
{
    writeManualTrace(QStringLiteral("打开异地备份对话框"), SettingsPage, Product);
    KOffsiteDlg dialog(m_services.offsite, this);
    dialog.exec();
}

void KSettingDlg::onSavePathIndexChanged(int index)
{
    m_ui->btnOk->setEnabled(true);
    showRangeOf(m_ui->cbxSavePath->itemData(index).toString());
}

void KSettingDlg::onInputChanged(const QString& text)
{
    Q_UNUSED(text)
    m_ui->btnOk->setEnabled(true);
}

void KSettingDlg::onCBoxStateChanged(int state)
{
    m_ui->editTipSize->setEnabled(state != Qt::Unchecked);
}

void KSettingDlg::keyPressEvent(QKeyEvent* event)
{
    // Return in the size field arrives here only when the field did not save on its own (its
    // text is out of the validator's range), so that the user is told why nothing happened.
    const bool enter = event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return;
    QWidget* focused = focusWidget();
    if (enter && (focused == m_ui->btnOk || focused == m_ui->editTipSize)) {
        if (m_ui->btnOk->isEnabled())
            onSave();
        return;
    }
    KDialogBaseWidget::keyPressEvent(event);
}

QString KSettingDlg::languageFile() const
{
    return KUiLanguage::settingsFile(m_services.platform->configHomeFolder());
}

void KSettingDlg::onSave()
{
    // Return in the size field saves through the field and then reaches keyPressEvent too.
    if (m_saved)
        return;
    bool isNumber = false;
    const double size = m_ui->editTipSize->text().toDouble(&isNumber);
    if (m_ui->chkTipSize->isChecked() && (!isNumber || !(size >= MinimumTipGiB) || !(size <= m_upperBound))) {
        m_ui->lblError->setText(tr("      您输入的大小已超出范围，请重新输入"));
        m_ui->btnOk->setEnabled(false);
        return;
    }
    m_ui->lblError->clear();

    KConfig* config = m_services.config;
    // A write that fails is logged and stays pending in this process, to be written with the
    // next change; the backup path's is written again by the move, which does not go on without
    // it. Without a selected drive the backup path stays as it is. Another drive is recorded as a
    // move about to start, so that the backups stay reachable should the process end first.
    if (m_ui->cbxSavePath->currentIndex() >= 0) {
        const QString chosen = m_ui->cbxSavePath->currentData().toString();
        KBackupFolderMove::prepare(config->backUpPath(), chosen);
        static_cast<void>(config->setBackUpPath(chosen));
    }
    static_cast<void>(config->setTipWhenDiskSizeIsSmall(m_ui->chkTipSize->isChecked()));
    static_cast<void>(config->setTipSizeEnabled(m_ui->chkTipSize->checkState() != Qt::Unchecked));
    const double largest = double(std::numeric_limits<qint64>::max()) / BytesPerGiB;
    if (isNumber && size >= MinimumTipGiB && size < largest)
        static_cast<void>(config->setTipSize(qint64(size * BytesPerGiB)));
    const bool wasCleaning = config->autoClean7Days();
    static_cast<void>(config->setAutoClean7Days(m_ui->chkAutoClean->isChecked()));
    if (!wasCleaning && m_ui->chkAutoClean->isChecked())
        m_services.scanner->requestAutoClean();
    static_cast<void>(config->setTipsAsNotifications(m_ui->chkDesktopNotifications->isChecked()));
    // Read by the host as it starts: the next start speaks it.
    const auto language = KUiLanguage::Choice(m_ui->cbxLanguage->currentData().toInt());
    if (language != KUiLanguage::storedChoice(languageFile())
        && !KUiLanguage::storeChoice(languageFile(), language))
        qCWarning(vkEngine) << "the interface language could not be saved in" << languageFile();
    writeManualTrace(QStringLiteral("保存"), SettingsPage, Product);
    m_saved = true;
    accept();
}
