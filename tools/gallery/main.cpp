// vaultkeep-gallery: renders every control of the user interface, in its states, to PNG files in
// a folder, offscreen. Run it after changing a widget and look at the pictures.
//
//   vaultkeep-gallery [--language zh_CN|en] <folder>
//
// In Chinese unless told otherwise, whatever the desktop speaks: the texts are written in Chinese.
// It reads the host's skin setting like the plug-in does, and writes nothing anywhere else: the
// pages and tips keep their settings on a throwaway machine in a temporary folder.

#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kclicklabel.h"
#include "Widgets/controls/kcommonbutton.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/controls/kmenubutton.h"
#include "Widgets/dialogs/kdialogbasewidget.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/kskindialog.h"
#include "Widgets/home/khomewidget.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/settings/kcleandlg.h"
#include "Widgets/settings/kmovebackfolderwidget.h"
#include "Widgets/settings/koffsitedlg.h"
#include "Widgets/settings/ksettingdlg.h"
#include "Widgets/table/knodatawidget.h"
#include "Widgets/table/ktableheader.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "Widgets/tips/ktipuserdialog.h"
#include "Widgets/tips/ktipwidget.h"
#include "Widgets/title/ksystemtitle.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobjectmgr.h"
#include "core/kuilanguage.h"
#include "kfakeplatform.h"
#include "krecoveryscenes.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"
#include "service/kfileservicemanager.h"
#include "service/kservices.h"
#include "storage/kbackupfoldermove.h"
#include "storage/kdiskinfothread.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QVBoxLayout>

#include <cstdlib>
#include <functional>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString skin(const QString& name)
{
    return KCommon::skinImagePath(name);
}

void enter(QWidget* widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(widget->mapToGlobal(QPoint(1, 1))));
    QApplication::sendEvent(widget, &event);
}

void leave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

void mouse(QWidget* widget, QEvent::Type type, const QPoint& pos)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), Qt::LeftButton,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void press(QWidget* widget)
{
    mouse(widget, QEvent::MouseButtonPress, widget->rect().center());
}

void click(QWidget* widget)
{
    press(widget);
    mouse(widget, QEvent::MouseButtonRelease, widget->rect().center());
}

// One page of a gallery: a grid of captioned cells on white.
class Sheet
{
public:
    explicit Sheet(int columns)
        : m_columns(columns)
        , m_grid(new QGridLayout(&m_page))
    {
        m_page.setAutoFillBackground(true);
        QPalette white = m_page.palette();
        white.setColor(QPalette::Window, Qt::white);
        m_page.setPalette(white);
        m_grid->setSpacing(14);
        m_grid->setContentsMargins(16, 16, 16, 16);
    }

    // Adds `widget` under `caption`, after `prepare` put it into the state to show. A dark
    // `background` is for controls made for the title strip.
    template<typename W>
    W* add(const QString& caption, W* widget, std::function<void(W*)> prepare = nullptr,
        const QColor& background = QColor())
    {
        if (prepare)
            prepare(widget);
        auto* cell = new QWidget;
        auto* column = new QVBoxLayout(cell);
        column->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(caption);
        label->setStyleSheet(QStringLiteral("color:#666666; font-size:11px;"));
        column->addWidget(label);
        if (background.isValid()) {
            auto* backdrop = new QWidget;
            backdrop->setAutoFillBackground(true);
            QPalette dark = backdrop->palette();
            dark.setColor(QPalette::Window, background);
            backdrop->setPalette(dark);
            auto* inner = new QHBoxLayout(backdrop);
            inner->setContentsMargins(6, 4, 6, 4);
            inner->addWidget(widget);
            column->addWidget(backdrop, 0, Qt::AlignLeft | Qt::AlignTop);
        } else {
            column->addWidget(widget, 0, Qt::AlignLeft | Qt::AlignTop);
        }
        column->addStretch();
        m_grid->addWidget(cell, m_count / m_columns, m_count % m_columns, Qt::AlignLeft | Qt::AlignTop);
        ++m_count;
        return widget;
    }

    bool save(const QString& path)
    {
        m_page.adjustSize();
        m_page.show();
        QApplication::processEvents();
        return m_page.grab().save(path);
    }

private:
    QWidget m_page;
    int m_columns;
    int m_count = 0;
    QGridLayout* m_grid;
};

// A picture of another widget, for windows that cannot sit in a sheet (menus).
QLabel* snapshot(QWidget* widget)
{
    auto* label = new QLabel;
    label->setPixmap(widget->grab());
    return label;
}

bool saveWindow(QWidget* window, const QString& path)
{
    window->show();
    QApplication::processEvents();
    return window->grab().save(path);
}

bool renderControls(const QDir& folder)
{
    bool saved = true;

    Sheet labels(3);
    const QString path = QStringLiteral("D:/工程/2024/投标报价.GBQ4");
    labels.add<KClickLabel>(QStringLiteral("KClickLabel"), new KClickLabel, [&](KClickLabel* label) {
        label->setText(path);
        label->setTextColor(QColor(QStringLiteral("#333333")));
    });
    labels.add<KClickLabel>(
        QStringLiteral("KClickLabel hovered (blue, underlined)"), new KClickLabel, [&](KClickLabel* label) {
            label->setText(path);
            label->setTextColor(QColor(QStringLiteral("#333333")));
            label->setHoverTextColor(Qt::blue);
            label->setUnderlineOnHover(true);
            enter(label);
        });
    labels.add<KClickLabel>(
        QStringLiteral("KClickLabel never coloured, after hover"), new KClickLabel, [&](KClickLabel* label) {
            label->setText(QStringLiteral("设置"));
            enter(label);
            leave(label);
        });
    const auto kLabel = [](const QString& state) {
        return [state](KLabel* label) {
            label->setFixedSize(110, 34);
            label->setImages(skin(QStringLiteral("版本恢复.png")),
                skin(QStringLiteral("版本恢复_鼠标移上去.png")),
                skin(QStringLiteral("版本恢复_鼠标移上去.png")), QString());
            if (state != QLatin1String("normal"))
                enter(label);
            if (state == QLatin1String("pressed, dragged out")) {
                press(label);
                leave(label);
            }
        };
    };
    labels.add<KLabel>(QStringLiteral("KLabel"), new KLabel, kLabel(QStringLiteral("normal")));
    labels.add<KLabel>(QStringLiteral("KLabel hovered"), new KLabel, kLabel(QStringLiteral("hovered")));
    labels.add<KLabel>(QStringLiteral("KLabel pressed, dragged out"), new KLabel,
        kLabel(QStringLiteral("pressed, dragged out")));
    const auto common = [](int state) {
        return [state](KCommonButton* button) {
            button->setFixedSize(100, 30);
            button->setImages(skin(QStringLiteral("清空列表01.png")), skin(QStringLiteral("清空列表01a.png")),
                skin(QStringLiteral("清空列表01a.png")), QString(), false);
            if (state >= 1)
                enter(button);
            if (state == 2)
                click(button);
        };
    };
    labels.add<KCommonButton>(QStringLiteral("KCommonButton"), new KCommonButton, common(0));
    labels.add<KCommonButton>(QStringLiteral("KCommonButton hovered"), new KCommonButton, common(1));
    labels.add<KCommonButton>(QStringLiteral("KCommonButton after a click"), new KCommonButton, common(2));
    saved = labels.save(folder.filePath(QStringLiteral("controls-labels.png"))) && saved;

    Sheet buttons(4);
    const auto strip
        = [](const QString& picture, int frames, const QString& text, const QColor& color, int state) {
              return [=](KCustomButton* button) {
                  button->setPicName(picture, frames);
                  button->setText(text);
                  if (color.isValid())
                      button->setTextColor(color);
                  if (state == 1)
                      enter(button);
                  if (state == 2) {
                      enter(button);
                      press(button);
                  }
                  if (state == 3)
                      button->setEnabled(false);
              };
          };
    const QString close = QStringLiteral(":/Icons/Icons/关闭.png");
    const QString shortButton = skin(QStringLiteral("short_button.png"));
    const QString longButton = skin(QStringLiteral("long_button_white.png"));
    const QString plain = skin(QStringLiteral("按扭背景.png"));
    // The title strip's buttons are white on the skin's blue.
    const QColor titleBlue(QStringLiteral("#2b6cb0"));
    buttons.add<KCustomButton>(
        QStringLiteral("close, normal"), new KCustomButton, strip(close, 2, {}, {}, 0), titleBlue);
    buttons.add<KCustomButton>(
        QStringLiteral("close, hovered"), new KCustomButton, strip(close, 2, {}, {}, 1), titleBlue);
    buttons.add<KCustomButton>(
        QStringLiteral("close, pressed"), new KCustomButton, strip(close, 2, {}, {}, 2), titleBlue);
    buttons.add<KCustomButton>(
        QStringLiteral("close, disabled"), new KCustomButton, strip(close, 2, {}, {}, 3), titleBlue);
    buttons.add<KCustomButton>(QStringLiteral("tip action, white text"), new KCustomButton,
        strip(shortButton, 2, QStringLiteral("一键更换到D盘(空间充足)"), Qt::white, 0));
    buttons.add<KCustomButton>(QStringLiteral("tip action, hovered"), new KCustomButton,
        strip(shortButton, 2, QStringLiteral("快捷清理..."), Qt::white, 1));
    buttons.add<KCustomButton>(QStringLiteral("second tip action"), new KCustomButton,
        strip(longButton, 2, QStringLiteral("暂不理会"), QColor(QStringLiteral("#333333")), 0));
    buttons.add<KCustomButton>(QStringLiteral("second tip action, disabled"), new KCustomButton,
        strip(longButton, 2, QStringLiteral("查看设置"), QColor(QStringLiteral("#333333")), 3));
    buttons.add<KCustomButton>(QStringLiteral("plain, black text"), new KCustomButton,
        strip(plain, 4, QStringLiteral("确定"), {}, 0));
    buttons.add<KCustomButton>(
        QStringLiteral("plain, hovered"), new KCustomButton, strip(plain, 4, QStringLiteral("确定"), {}, 1));
    buttons.add<KCustomButton>(
        QStringLiteral("plain, pressed"), new KCustomButton, strip(plain, 4, QStringLiteral("确定"), {}, 2));
    buttons.add<KCustomButton>(
        QStringLiteral("plain, disabled"), new KCustomButton, strip(plain, 4, QStringLiteral("确定"), {}, 3));
    buttons.add<KCustomButton>(QStringLiteral("no picture"), new KCustomButton, [](KCustomButton* button) {
        button->setText(QStringLiteral("取消"));
        button->setFixedSize(80, 28);
    });
    buttons.add<KCustomButton>(QStringLiteral("switch, one frame"), new KCustomButton,
        strip(QStringLiteral(":/Icons/Icons/已开启.png"), 1, {}, {}, 0));
    buttons.add<KButton>(QStringLiteral("KButton"), new KButton,
        [](KButton* button) { button->setPixmap(skin(QStringLiteral("pullButton.png")), 2); });
    buttons.add<KButton>(QStringLiteral("KButton hovered"), new KButton, [](KButton* button) {
        button->setPixmap(skin(QStringLiteral("pullButton.png")), 2);
        enter(button);
        button->update();
    });
    auto* menuButton = new KMenuButton(
        skin(QStringLiteral("找回到桌面ab.png")), 2, skin(QStringLiteral("pullButton.png")), 2);
    menuButton->addAction(QStringLiteral("恢复至原位置"), QString());
    buttons.add(QStringLiteral("KMenuButton"), menuButton);
    menuButton->menu()->setFixedWidth(120);
    buttons.add(QStringLiteral("KMenuButton's menu"), snapshot(menuButton->menu()));
    saved = buttons.save(folder.filePath(QStringLiteral("controls-buttons.png"))) && saved;
    return saved;
}

bool renderTitleAndFrames(const QDir& folder)
{
    bool saved = true;
    QWidget main;
    main.setWindowFlags(Qt::FramelessWindowHint);
    main.resize(659, 30);
    auto* title = new KSystemTitle(&main);
    title->setGeometry(0, 0, 659, 30);
    title->setTitle(QStringLiteral("Vaultkeep"));
    saved = saveWindow(&main, folder.filePath(QStringLiteral("title-strip.png"))) && saved;
    title->setMixVisible(false);
    title->setButtonsEnabled(false);
    saved = saveWindow(&main, folder.filePath(QStringLiteral("title-strip-main-window-busy.png"))) && saved;

    KDialogBaseWidget dialog;
    dialog.setTitle(QStringLiteral("设置"));
    dialog.resize(420, 300);
    saved = saveWindow(&dialog, folder.filePath(QStringLiteral("dialog-frame.png"))) && saved;

    KSkinDialog skinned(QStringLiteral("提示"), KCommon::skinBackgroundPath(),
        QStringLiteral(":/Icons/Icons/关闭.png"), 2, 340, 190);
    saved = saveWindow(&skinned, folder.filePath(QStringLiteral("skin-dialog-frame.png"))) && saved;
    return saved;
}

// The boxes exactly as the recovery views build them.
bool renderMessageBoxes(const QDir& folder)
{
    bool saved = true;
    const QStringList names = { QStringLiteral("none"), QStringLiteral("information"),
        QStringLiteral("warning"), QStringLiteral("critical"), QStringLiteral("question") };
    for (int icon = 0; icon <= 4; ++icon) {
        const auto box
            = KYMessageBox::information(nullptr, icon, QStringLiteral("恢复失败，请检查文件是否被占用。"));
        saved
            = saveWindow(box.get(), folder.filePath(QStringLiteral("message-box-%1.png").arg(names.at(icon))))
            && saved;
    }
    const auto done
        = KYMessageBox::information(nullptr, QMessageBox::Information, QStringLiteral("文件已恢复。"));
    saved = saveWindow(done.get(), folder.filePath(QStringLiteral("message-box-one-line.png"))) && saved;
    const auto question = KYMessageBox::question(nullptr, QStringLiteral("删除"),
        QStringLiteral("从列表里删除后这个文件就再也无法找回了，您确认永久删除它吗？"),
        QStringLiteral("永久删除"), QStringLiteral("取消"));
    saved = saveWindow(question.get(), folder.filePath(QStringLiteral("question-box-delete.png"))) && saved;
    const auto sameName = KYMessageBox::question(nullptr, QStringLiteral("发现同名文件"),
        QStringLiteral("目标位置已有同名文件，你是否需要自动改名并恢复？"), QStringLiteral("自动改名恢复"),
        QStringLiteral("覆盖目标文件"));
    saved
        = saveWindow(sameName.get(), folder.filePath(QStringLiteral("question-box-same-name.png"))) && saved;
    // The longest of the boxes that say why a file has no versions, with a long name.
    KUnprotectedReason notListed;
    notListed.reason = KUnprotectedReason::NotListed;
    const auto why = KYMessageBox::information(nullptr, QMessageBox::Information,
        KFileVersionDlg::notProtectedText(
            QStringLiteral("/home/ann/第二实验小学教学楼招标控制价（修改稿）.pra4"), notListed));
    saved = saveWindow(why.get(), folder.filePath(QStringLiteral("message-box-not-protected.png"))) && saved;
    return saved;
}

bool renderTable(const QDir& folder)
{
    bool saved = true;
    QWidget page;
    page.resize(637, 260);
    auto* column = new QVBoxLayout(&page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* header = new KTableHeader;
    column->addWidget(header);
    auto* table = new KTableWidget;
    column->addWidget(table);
    table->setColumnCount(1);
    table->setColumnWidth(0, 637);
    table->resetRows();
    // The row kinds that exist so far: month titles.
    // Enough of them for the scroll bar to show.
    QStringList titles { QStringLiteral("计价自备份(3)") };
    for (int month = 12; month >= 1; --month)
        titles << QStringLiteral("2023年%1月").arg(month, 2, 10, QLatin1Char('0'));
    for (const QString& title : titles)
        table->addRow(title, { title }, KTableWidgetItemBase::ITEM_DATETIME);
    table->removeSurplusRows();
    saved = saveWindow(&page, folder.filePath(QStringLiteral("table.png"))) && saved;
    header->setBackedNumberVisible(false);
    saved = saveWindow(&page, folder.filePath(QStringLiteral("table-self-backup-header.png"))) && saved;

    for (int mode = 0; mode <= 1; ++mode) {
        KNoDataWidget empty;
        empty.resize(637, 360);
        empty.setMode(mode);
        saved = saveWindow(&empty, folder.filePath(QStringLiteral("no-data-%1.png").arg(mode))) && saved;
    }
    return saved;
}

bool renderFileIcons(const QDir& folder)
{
    QTemporaryDir files;
    KFileIconProvider* icons = KFileIconProvider::instance();
    for (const QString& name : { QStringLiteral("notes.txt"), QStringLiteral("report.pdf") }) {
        QFile file(files.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
        file.close();
        icons->registerFile(file.fileName());
    }
    Sheet sheet(4);
    for (const QString& name : { QStringLiteral("预算.XLSX"), QStringLiteral("notes.txt"),
             QStringLiteral("report.pdf"), QStringLiteral("工程.GBQ4") }) {
        auto* label = new QLabel;
        label->setPixmap(icons->iconForFile(name).pixmap(32, 32));
        sheet.add(name, label);
    }
    return sheet.save(folder.filePath(QStringLiteral("file-icons.png")));
}

// The home page with protection on and plenty of room, and off with the backup drive nearly full.
bool renderHomePage(const QDir& folder)
{
    bool saved = true;
    for (const bool on : { true, false }) {
        if (!KConfig::instance()->setAutoBack(on))
            qFatal("cannot write the settings");
        KHomeWidget page;
        page.setServices(KServices::process());
        emit KFileServiceManager::instance()->sigUpdateHomePage(1287, 46, 3);
        emit KDiskInfoThread::instance()->sigSetHomeDiskFree(
            QStringLiteral("/media/ann/Data/"), on ? 120000.0 : 140.0, 476000.0);
        if (auto* bar = page.findChild<QPropertyAnimation*>())
            bar->setCurrentTime(bar->duration());
        // On, the off-site copy uploading; off, its last upload failed.
        KOffsiteStatus offsite;
        offsite.state = on ? KOffsiteStatus::State::Running : KOffsiteStatus::State::Idle;
        offsite.progressPercent = 40;
        offsite.lastProblem = on ? KOffsiteProblem::None : KOffsiteProblem::Unreachable;
        page.onOffsiteStatus(offsite);
        saved = saveWindow(&page,
                    folder.filePath(
                        on ? QStringLiteral("home-on.png") : QStringLiteral("home-off-low-space.png")))
            && saved;
    }
    return saved;
}

bool renderTips(const QDir& folder)
{
    bool saved = true;
    KTipMsgManager manager(KServices::process());
    KTipMsgManager* tips = &manager;
    tips->showCurrentDiskNotEnough(10 * 1024 * 1024, QStringLiteral("/media/ann/Data/"));
    tips->showBackedFolderTooLarge(3650722202LL);
    const QList<KTipWidget*> shown = tips->tips();
    const QStringList names { QStringLiteral("tip-low-space.png"),
        QStringLiteral("tip-folder-too-large.png") };
    for (int i = 0; i < shown.size() && i < names.size(); ++i) {
        saved = shown.at(i)->grab().save(folder.filePath(names.at(i))) && saved;
        shown.at(i)->close();
    }
    saved = shown.size() == names.size() && saved;

    tips->showTipUserDialog();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (auto* dialog = qobject_cast<KTipUserDialog*>(window)) {
            saved = dialog->grab().save(folder.filePath(QStringLiteral("tip-first-backup.png"))) && saved;
            dialog->close();
        }
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return saved;
}

// The settings and clean-up dialogs, which read the engine's settings, drives and backups, and the
// move panels moving those backups for real: three drives and a few backups on the machine.
bool renderStorage(const QDir& folder, KFakePlatform* machine)
{
    bool saved = true;
    const auto drive = [machine](const QString& letter, quint64 freeMiB) {
        const QString root = machine->baseFolder() + QStringLiteral("/drives/") + letter + QLatin1Char('/');
        QDir().mkpath(root);
        machine->addDrive(root, KDriveKind::Fixed, KFileSystemKind::Ntfs, freeMiB << 20, 2 * (freeMiB << 20));
        return root;
    };
    const auto backUp = [machine](const QString& name, int bytes) {
        const QString path = machine->baseFolder() + QStringLiteral("/projects/") + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(bytes, 'v'));
        file.close();
        KFileServiceManager::instance()->collection(0)->backupFile(path, 0);
    };
    machine->clearDrives();
    const QString c = drive(QStringLiteral("C"), 53555);
    const QString d = drive(QStringLiteral("D"), 150);
    const QString e = drive(QStringLiteral("E"), 318464);
    machine->setSystemDriveRoot(c);
    KCommon::refreshDrives();
    if (!KConfig::instance()->setBackUpPath(e))
        qFatal("cannot write the settings");
    if (!KConfig::instance()->setTipSize(2 * (qint64(1) << 30)))
        qFatal("cannot write the settings");
    // Backups of yesterday and of today.
    const QDateTime now = QDateTime::currentDateTime();
    machine->setCurrentDateTime(now.addDays(-1));
    backUp(QStringLiteral("投标报价.GBQ4"), 3 << 20);
    machine->setCurrentDateTime(now);
    backUp(QStringLiteral("结算.GBQ4"), 700 << 10);
    machine->setCurrentDateTime(QDateTime()); // the real clock again, for the panel's timers

    KSettingDlg settings(KServices::process());
    saved = saveWindow(&settings, folder.filePath(QStringLiteral("settings-dialog.png"))) && saved;
    auto* size = settings.findChild<QLineEdit*>(QStringLiteral("editTipSize"));
    size->setText(QStringLiteral("0.3"));
    settings.onSave();
    saved
        = saveWindow(&settings, folder.filePath(QStringLiteral("settings-dialog-out-of-range.png"))) && saved;

    KOffsiteDlg offsite(KServices::process().offsite);
    saved = saveWindow(&offsite, folder.filePath(QStringLiteral("offsite-dialog.png"))) && saved;

    KCleanDlg clean(KServices::process());
    saved = saveWindow(&clean, folder.filePath(QStringLiteral("clean-dialog.png"))) && saved;
    KMessageBox::setNextAnswer(1); // yes to the question before the clean-up
    clean.onCleanBefore();
    saved
        = saveWindow(&clean, folder.filePath(QStringLiteral("clean-dialog-after-clean-before.png"))) && saved;

    // The move panels over a window of the main window's size, moving those backups for real.
    QWidget window;
    window.setAutoFillBackground(true);
    window.resize(800, 500);
    auto* panel = new KMoveBackFolderWidget(KPlatform::instance(), e, d, &window);
    saved = saveWindow(&window, folder.filePath(QStringLiteral("move-panel.png"))) && saved;
    for (int waited = 0; waited < 100 && !panel->findChild<QWidget*>(QStringLiteral("finishedWidget"));
         ++waited) {
        QApplication::processEvents(QEventLoop::AllEvents, 100);
        QThread::msleep(100);
    }
    saved = saveWindow(&window, folder.filePath(QStringLiteral("move-finished-panel.png"))) && saved;

    KMessageBox failed(QMessageBox::Critical, QStringLiteral("转移备份"),
        KMoveBackFolderWidget::failureText(int(KBackupFolderMove::Problem::Conflict),
            QStringLiteral("{6f1c2a4e-3b7d-4c55-9a0e-2d8f1b3c4d5e}_20240511093012_20240511"),
            KBackupFolderMove::folderOf(QStringLiteral("/media/ann/Data/"))),
        KCommon::skinBackgroundPath(), QStringLiteral(":/Icons/Icons/关闭.png"), 2, QStringLiteral("确定"),
        QString(), false);
    saved = saveWindow(&failed, folder.filePath(QStringLiteral("move-failed-message.png"))) && saved;
    // The longest reason: the box grows taller for it.
    KMessageBox damaged(QMessageBox::Critical, QStringLiteral("转移备份"),
        KMoveBackFolderWidget::failureText(int(KBackupFolderMove::Problem::Damaged),
            QStringLiteral("{6f1c2a4e-3b7d-4c55-9a0e-2d8f1b3c4d5e}_20240511093012_20240511"),
            KBackupFolderMove::folderOf(QStringLiteral("/media/ann/Data/"))),
        KCommon::skinBackgroundPath(), QStringLiteral(":/Icons/Icons/关闭.png"), 2, QStringLiteral("确定"),
        QString(), false);
    saved = saveWindow(&damaged, folder.filePath(QStringLiteral("move-failed-damaged.png"))) && saved;

    // Every frame of the move animation, left to right and top to bottom.
    QMovie movie(skin(QStringLiteral("转移备份.gif")));
    const int frames = movie.frameCount();
    const QSize frame = movie.jumpToFrame(0) ? movie.currentPixmap().size() : QSize();
    QImage sheet(frame.width() * 4 + 30, (frame.height() + 6) * ((frames + 3) / 4), QImage::Format_RGB32);
    sheet.fill(QColor(QStringLiteral("#dfdfdf")));
    QPainter painter(&sheet);
    for (int i = 0; i < frames && movie.jumpToFrame(i); ++i)
        painter.drawPixmap(
            (i % 4) * (frame.width() + 10), (i / 4) * (frame.height() + 6), movie.currentPixmap());
    painter.end();
    saved = frames > 0 && sheet.save(folder.filePath(QStringLiteral("move-animation-frames.png"))) && saved;
    return saved;
}

// A machine of its own below `base`, following the host's skin setting of the real one, with the
// user's home folder and a second drive as its drives.
void useThrowawayMachine(KFakePlatform* machine)
{
    const QString skinKey = QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium\\Skin");
    const QVector<QPair<QString, QString>> skinValues = KRegistryKey(skinKey).values();
    KPlatform::setInstance(machine);
    KRegistryKey skin(skinKey);
    for (const auto& value : skinValues)
        skin.setValue(value.first, value.second);
    // Without it the pictures show the plug-in's own skin.
    static_cast<void>(skin.sync());
    // Backups on the home folder's volume, as on most machines.
    const QString home = machine->homeFolder() + QLatin1Char('/');
    QDir().mkpath(home);
    machine->addDrive(
        home, KDriveKind::Fixed, KFileSystemKind::Ntfs, 140 * 1024 * 1024ULL, 476000ULL * 1024 * 1024);
    if (!KConfig::instance()->setBackUpPath(home))
        qFatal("cannot write the settings");
}

} // namespace

int main(int argc, char** argv)
{
    // Nothing is shown on a screen; the offscreen platform still gives fonts and styles.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The host's type face and size; fontconfig maps the name to the installed CJK font.
    QApplication::setFont(QFont(QStringLiteral("微软雅黑"), 9));
    QStringList arguments = QApplication::arguments().mid(1);
    KUiLanguage::Language language = KUiLanguage::Language::Chinese;
    if (arguments.size() == 3 && arguments.first() == QLatin1String("--language")) {
        const QString name = arguments.at(1);
        if (name == QLatin1String("en"))
            language = KUiLanguage::Language::English;
        arguments = name == QLatin1String("en") || name == QLatin1String("zh_CN") ? arguments.mid(2)
                                                                                  : QStringList();
    }
    if (arguments.size() != 1) {
        out() << "usage: vaultkeep-gallery [--language zh_CN|en] <folder>\n";
        return 2;
    }
    if (!KUiLanguage::apply(language)) {
        out() << "vaultkeep-gallery: the English translations are missing\n";
        return 1;
    }
    const QDir folder(arguments.first());
    if (!QDir().mkpath(folder.path())) {
        out() << "vaultkeep-gallery: cannot create " << folder.path() << '\n';
        return 1;
    }
    bool saved = false;
    {
        QTemporaryDir machineFolder;
        KFakePlatform machine(machineFolder.filePath(QStringLiteral("machine")));
        useThrowawayMachine(&machine);
        saved = renderControls(folder) && renderTitleAndFrames(folder) && renderMessageBoxes(folder)
            && renderTable(folder) && renderFileIcons(folder) && renderHomePage(folder) && renderTips(folder)
            && renderRecoveryViews(folder, &machine) && renderStorage(folder, &machine);
        KPlatform::setInstance(nullptr);
    }
    if (saved)
        out() << "vaultkeep-gallery: pictures written to " << folder.absolutePath() << '\n';
    else
        out() << "vaultkeep-gallery: could not write every picture to " << folder.path() << '\n';
    out().flush();
    // The engine of the process would save its database once more as the program's static
    // objects go, with its throwaway machine gone: into the real home folder. It is left undone.
    std::quick_exit(saved ? 0 : 1);
}
