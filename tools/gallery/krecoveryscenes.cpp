#include "krecoveryscenes.h"

#include "Widgets/controls/kmenubutton.h"
#include "Widgets/deleted/kdeletedwidget.h"
#include "Widgets/deleted/ktablewidgetdeletedfileitem.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/miscode/kmiscodewidget.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "Widgets/versions/ktablewidgetbackedfileitem.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/ktimestamp.h"
#include "discovery/kproductcatalog.h"
#include "kfakeplatform.h"
#include "platform/kfileops.h"
#include "service/kfileservicemanager.h"
#include "service/kservices.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QTimer>
#include <QUuid>

namespace {

// The moment the pictures show: a Monday afternoon.
const QDateTime Now(QDate(2024, 5, 20), QTime(15, 30, 0));

struct SourceFile
{
    int kind;
    const char* name;
    int versions;
    int daysBack; // of the latest version
};

// Forty-five project files of every kind, backed up over several months.
const SourceFile Sources[] = {
    { 0, "阳光小区3号楼投标报价.pra4", 6, 0 },
    { 0, "第二实验小学教学楼招标控制价.pra4", 9, 0 },
    { 0, "滨江路市政道路工程结算.pra4", 4, 1 },
    { 0, "城南污水处理厂二期预算.pra4", 3, 2 },
    { 0, "人民医院门诊楼装饰工程.pra4", 5, 4 },
    { 0, "高新区标准厂房A栋.pra4", 2, 6 },
    { 0, "高新区标准厂房B栋.pra4", 2, 6 },
    { 0, "翠湖花园景观工程.prt4", 3, 9 },
    { 0, "县体育馆钢结构投标.pra4", 7, 12 },
    { 0, "老旧小区改造一期.pra4", 4, 15 },
    { 0, "老旧小区改造二期.pra4", 3, 16 },
    { 0, "职业技术学院实训楼.pra4", 2, 21 },
    { 0, "地铁5号线站点装修.prz4", 5, 27 },
    { 0, "产业园区配套宿舍.pra4", 1, 33 },
    { 0, "滨河公园公厕改造.pra4", 2, 38 },
    { 0, "中心小学运动场.pra4", 1, 44 },
    { 0, "社区卫生服务中心.pra4", 3, 52 },
    { 0, "农贸市场提升改造.pra4", 2, 61 },
    { 0, "幼儿园新建工程.pra4", 4, 70 },
    { 0, "跨河人行桥.pra4", 1, 83 },
    { 0, "消防站业务用房.pra4", 2, 95 },
    { 0, "图书馆外立面改造.pra4", 1, 110 },
    { 1, "阳光小区3号楼土建算量.cva24", 5, 0 },
    { 1, "第二实验小学教学楼.cva24", 3, 2 },
    { 1, "人民医院门诊楼.cva24", 2, 11 },
    { 1, "高新区标准厂房.cvt24", 2, 30 },
    { 1, "县体育馆.cva24", 1, 58 },
    { 1, "幼儿园新建工程.cva24", 1, 90 },
    { 2, "阳光小区3号楼钢筋.rba24", 4, 1 },
    { 2, "第二实验小学教学楼钢筋.rba24", 2, 5 },
    { 2, "县体育馆钢筋.rba24", 3, 26 },
    { 2, "消防站钢筋.rbt24", 1, 47 },
    { 2, "跨河人行桥钢筋.rba24", 1, 85 },
    { 3, "人民医院给排水.ina24", 3, 3 },
    { 3, "产业园区宿舍电气.ina24", 2, 19 },
    { 3, "高新区厂房消防.int24", 1, 40 },
    { 3, "图书馆暖通.ina24", 1, 100 },
    { 4, "工程量对比表.xlsx", 6, 0 },
    { 4, "材料价格汇总.xls", 3, 1 },
    { 4, "投标文件商务部分.docx", 2, 3 },
    { 4, "施工组织设计.doc", 2, 8 },
    { 4, "总平面图.dwg", 4, 13 },
    { 4, "项目汇报.pptx", 1, 29 },
    { 4, "变更签证台账.xlsx", 2, 57 },
    { 4, "结构施工图.dwg", 1, 92 },
};

// Three protected files whose sources were deleted.
const SourceFile Deleted[] = {
    { 0, "滨江路市政道路工程结算(旧).pra4", 3, 2 },
    { 4, "工程款支付申请表.xlsx", 2, 5 },
    { 1, "车库土建算量.cva24", 1, 17 },
};

// The pricing product's own backups, named after the time they were written.
const char* const SelfBackups[] = {
    "阳光小区3号楼投标报价/阳光小区3号楼投标报价_20240520_1410.pra4",
    "阳光小区3号楼投标报价/阳光小区3号楼投标报价_20240520_1140.pra4",
    "第二实验小学教学楼招标控制价/第二实验小学教学楼招标控制价_20240519_1702.pra4",
    "第二实验小学教学楼招标控制价/第二实验小学教学楼招标控制价_20240517_0935.pra4",
    "滨江路市政道路工程结算_20240515_1620.pra4",
};

QDateTime timeInName(const QString& name)
{
    const QString stamp = name.section(QLatin1Char('_'), -2).remove(QLatin1Char('_')).left(12);
    return QDateTime::fromString(stamp, QStringLiteral("yyyyMMddhhmm"));
}

bool setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

bool writeFile(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return setModified(path, modified);
}

// A record with `count` versions, the newest `daysBack` days ago, a few hours to days apart;
// each version is a real copy in the backup folder.
bool protect(KFileServiceManager* engine, KFakePlatform* machine, const QString& path,
    const SourceFile& source, bool keepSource)
{
    const QString backups = KCommon::backupDirectory();
    QDir().mkpath(backups);
    auto* record = new KFileObject(path, source.kind);
    QStringList ids;
    QDateTime modified = Now.addDays(-source.daysBack).addSecs(-3600 - 733 * source.versions);
    for (int v = 0; v < source.versions; ++v) {
        const QByteArray content = QByteArray("version ") + QByteArray::number(v) + ' ' + path.toUtf8();
        const QString fileId = QUuid::createUuid().toString() + QLatin1Char('_')
            + KTimeStamp::format(modified) + QLatin1Char('_') + KTimeStamp::formatDate(modified.date());
        if (!writeFile(backups + fileId, content, modified))
            return false;
        ids.prepend(fileId);
        if (v == 0 && keepSource) {
            if (!writeFile(path, content, modified))
                return false;
            // Created some weeks before its first backup, which gives the lists their months.
            machine->setCreationTime(path, modified.addDays(-(12 + 9 * source.versions)));
        }
        modified = modified.addSecs(-(v % 3 == 0 ? 86400 * 2 + 5400 : 7200));
    }
    record->addVersions(ids);
    if (!engine->collection(source.kind)->addFile(record)) {
        delete record;
        return false;
    }
    return true;
}

bool buildState(KFakePlatform* machine, const QString& home)
{
    KProductCatalog catalog;
    if (!catalog.load(KProductCatalog::builtInPath()))
        return false;
    KFileServiceManager* engine = KFileServiceManager::instance();
    // As the scanner does before its first cycle, on a machine that has none yet.
    if (engine->loadDatabase())
        return false;
    const QString projects = home + QStringLiteral("projects/");
    for (const SourceFile& source : Sources) {
        const QString path = projects + QString::fromUtf8(source.name);
        if (!protect(engine, machine, path, source, true))
            return false;
        KFileIconProvider::instance()->registerFile(path);
    }
    for (const SourceFile& source : Deleted) {
        if (!protect(engine, machine, projects + QStringLiteral("旧项目/") + QString::fromUtf8(source.name),
                source, false))
            return false;
    }
    const QString selfBackups = KFileServiceManager::selfBackupFolder() + QLatin1Char('/');
    for (const char* name : SelfBackups) {
        const QString path = selfBackups + QString::fromUtf8(name);
        if (!writeFile(path, "self backup", timeInName(path)))
            return false;
    }
    engine->scanSelfBackups();
    return true;
}

bool save(QWidget* widget, const QDir& folder, const QString& name)
{
    widget->show();
    QApplication::processEvents();
    return widget->grab().save(folder.filePath(name));
}

// Shows the version dialog once its list is built (it reads the copies on another thread).
bool saveVersions(KFileVersionDlg* dialog, const QDir& folder, const QString& name)
{
    QEventLoop built;
    QObject::connect(dialog, &KFileVersionDlg::sigListBuilt, &built, &QEventLoop::quit);
    QTimer::singleShot(10000, &built, &QEventLoop::quit);
    dialog->show();
    built.exec();
    return save(dialog, folder, name);
}

} // namespace

bool renderRecoveryViews(const QDir& folder, KFakePlatform* machine)
{
    machine->setCurrentDateTime(Now);
    const QString home = machine->baseFolder() + QStringLiteral("/home/ann/");
    if (!buildState(machine, home))
        return false;
    KFileServiceManager* engine = KFileServiceManager::instance();
    bool saved = true;

    KMisCodeWidget misCode;
    misCode.setServices(KServices::process());
    misCode.resize(797, 430);
    KDeletedWidget deleted;
    deleted.setServices(KServices::process());
    deleted.resize(798, 429);
    engine->onUpdate();
    saved = save(&misCode, folder, QStringLiteral("recovery-miscode-today.png")) && saved;
    engine->onShowPageByType(0);
    saved = save(&misCode, folder, QStringLiteral("recovery-miscode-pricing.png")) && saved;
    engine->onShowPage(2);
    saved = save(&misCode, folder, QStringLiteral("recovery-miscode-pricing-page-2.png")) && saved;
    engine->onShowPageByType(4);
    saved = save(&misCode, folder, QStringLiteral("recovery-miscode-other.png")) && saved;
    engine->onShowPageByType(KFileList::of(KListPage::SelfBackup));
    saved = save(&misCode, folder, QStringLiteral("recovery-miscode-self-backups.png")) && saved;

    const QString file = home + QStringLiteral("projects/第二实验小学教学楼招标控制价.pra4");
    {
        KFileVersionDlg dialog(file, KServices::process());
        saved = saveVersions(&dialog, folder, QStringLiteral("recovery-version-dialog.png")) && saved;
        // The second version restored over the file, which is first kept as a new version.
        auto* row = qobject_cast<KTableWidgetBackedFileItem*>(dialog.versionTable()->rowWidget(1));
        if (!row)
            return false;
        setModified(file, Now.addSecs(-120));
        KMessageBox::setNextAnswer(1);
        row->onToSrcPlace();
        // The list is built again with the version that restore kept, at the top.
        saved
            = saveVersions(&dialog, folder, QStringLiteral("recovery-version-dialog-restored.png")) && saved;
    }

    saved = save(&deleted, folder, QStringLiteral("recovery-deleted.png")) && saved;
    auto* first = qobject_cast<KTableWidgetDeletedFileItem*>(deleted.table()->rowWidget(1));
    if (!first)
        return false;
    QMenu* menu = first->findBackLabel()->menuButton()->menu();
    menu->setFixedWidth(120);
    saved = menu->grab().save(folder.filePath(QStringLiteral("recovery-deleted-menu.png"))) && saved;
    {
        // The versions of a deleted file, its folder gone with it.
        KFileVersionDlg dialog(first->sourcePath(), KServices::process());
        saved = saveVersions(&dialog, folder, QStringLiteral("recovery-version-dialog-deleted-file.png"))
            && saved;
    }
    first->onToDeskTop();
    engine->onUpdate();
    saved = save(&deleted, folder, QStringLiteral("recovery-deleted-restored.png")) && saved;
    KMessageBox::setNextAnswer(1);
    deleted.onClear();
    saved = save(&deleted, folder, QStringLiteral("recovery-deleted-cleared.png")) && saved;
    KMessageBox::clearNextAnswers();
    machine->setCurrentDateTime(QDateTime());
    return saved;
}
