#include "kdemoworkspace.h"

#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/ktimestamp.h"
#include "core/kuilanguage.h"
#include "kdemodocuments.h"
#include "service/kfileservicemanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace KDemoWorkspace {

namespace {

bool writeFile(const QString& path, const QByteArray& bytes, const QDateTime& modified, QString* error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
        || !file.flush() || !file.setFileTime(modified, QFileDevice::FileModificationTime)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QDateTime timeInName(const QString& name)
{
    const QString stamp
        = QFileInfo(name).completeBaseName().section(QLatin1Char('_'), -2).remove(QLatin1Char('_'));
    return QDateTime::fromString(stamp, QStringLiteral("yyyyMMddhhmm"));
}

// A record with its versions, the newest `daysBack` days before `now`, a few hours to days
// apart; each version is a real copy in the backup folder. The source, when kept, holds the
// newest version, or a later change when the sample says so.
bool protect(KFileServiceManager* engine, const QString& path, const Sample& sample, const QDateTime& now,
    bool keepSource, int* versions, QString* error)
{
    const QString backups = KCommon::backupDirectory();
    QDir().mkpath(backups);
    QStringList ids;
    QDateTime modified = now.addDays(-sample.daysBack).addSecs(-3600 - 733 * sample.versions);
    for (int v = sample.versions - 1; v >= 0; --v) {
        const QString fileId = QUuid::createUuid().toString() + QLatin1Char('_')
            + KTimeStamp::format(modified) + QLatin1Char('_') + KTimeStamp::formatDate(modified.date());
        if (!writeFile(backups + fileId, content(path, v), modified, error))
            return false;
        ids.prepend(fileId);
        if (v == sample.versions - 1 && keepSource) {
            const bool edited = sample.editedMinutesAgo > 0;
            if (!writeFile(path, content(path, edited ? v + 1 : v),
                    edited ? now.addSecs(-60 * sample.editedMinutesAgo) : modified, error))
                return false;
        }
        modified = modified.addSecs(-(v % 3 == 0 ? 86400 * 2 + 5400 : 7200));
    }
    auto* record = new KFileObject(path, sample.kind);
    record->addVersions(ids);
    if (!engine->collection(sample.kind)->addFile(record)) {
        delete record;
        *error = QStringLiteral("the engine refused the record of %1").arg(path);
        return false;
    }
    *versions += ids.size();
    return true;
}

bool inEnglish()
{
    return KUiLanguage::current() == KUiLanguage::Language::English;
}

} // namespace

QString Sample::fileName() const
{
    return QString::fromUtf8(inEnglish() ? english : name);
}

QString projectsFolderName()
{
    return inEnglish() ? QStringLiteral("Projects") : QStringLiteral("工程项目");
}

QString oldProjectsFolder()
{
    return inEnglish() ? QStringLiteral("Old projects") : QStringLiteral("旧项目");
}

const QVector<Sample>& projects()
{
    static const QVector<Sample> samples = {
        { 0, "阳光小区3号楼投标报价.pra4", "Sunshine Estate block 3 bid.pra4", 6, 0, 12 },
        { 0, "第二实验小学教学楼招标控制价.pra4", "No 2 Primary School classrooms tender cap.pra4", 9, 0 },
        { 0, "滨江路市政道路工程结算.pra4", "Riverside Road final account.pra4", 4, 1, 35 },
        { 0, "城南污水处理厂二期预算.pra4", "South sewage works phase 2 budget.pra4", 3, 2 },
        { 0, "人民医院门诊楼装饰工程.pra4", "City Hospital outpatient fit-out.pra4", 5, 4 },
        { 0, "高新区标准厂房A栋.pra4", "Tech park factory A.pra4", 2, 6 },
        { 0, "高新区标准厂房B栋.pra4", "Tech park factory B.pra4", 2, 6 },
        { 0, "翠湖花园景观工程.prt4", "Green Lake Gardens landscaping.prt4", 3, 9 },
        { 0, "县体育馆钢结构投标.pra4", "County gym steelwork bid.pra4", 7, 12 },
        { 0, "老旧小区改造一期.pra4", "Old estate renewal phase 1.pra4", 4, 15 },
        { 0, "老旧小区改造二期.pra4", "Old estate renewal phase 2.pra4", 3, 16 },
        { 0, "职业技术学院实训楼.pra4", "Technical college workshops.pra4", 2, 21 },
        { 0, "地铁5号线站点装修.prz4", "Metro line 5 station fit-out.prz4", 5, 27 },
        { 0, "产业园区配套宿舍.pra4", "Industrial park dormitory.pra4", 1, 33 },
        { 0, "滨河公园公厕改造.pra4", "Riverside park toilets.pra4", 2, 38 },
        { 0, "中心小学运动场.pra4", "Central Primary sports ground.pra4", 1, 44 },
        { 0, "社区卫生服务中心.pra4", "Community health centre.pra4", 3, 52 },
        { 0, "农贸市场提升改造.pra4", "Farmers market upgrade.pra4", 2, 61 },
        { 0, "幼儿园新建工程.pra4", "New kindergarten.pra4", 4, 70 },
        { 0, "跨河人行桥.pra4", "River footbridge.pra4", 1, 83 },
        { 0, "消防站业务用房.pra4", "Fire station.pra4", 2, 95 },
        { 0, "图书馆外立面改造.pra4", "Library facade renewal.pra4", 1, 110 },
        { 1, "阳光小区3号楼土建算量.cva24", "Sunshine Estate block 3 civil quantities.cva24", 5, 0, 50 },
        { 1, "第二实验小学教学楼.cva24", "No 2 Primary School classrooms.cva24", 3, 2 },
        { 1, "人民医院门诊楼.cva24", "City Hospital outpatient building.cva24", 2, 11 },
        { 1, "高新区标准厂房.cvt24", "Tech park factories.cvt24", 2, 30 },
        { 1, "县体育馆.cva24", "County gym.cva24", 1, 58 },
        { 1, "幼儿园新建工程.cva24", "New kindergarten.cva24", 1, 90 },
        { 2, "阳光小区3号楼钢筋.rba24", "Sunshine Estate block 3 rebar.rba24", 4, 1 },
        { 2, "第二实验小学教学楼钢筋.rba24", "No 2 Primary School rebar.rba24", 2, 5 },
        { 2, "县体育馆钢筋.rba24", "County gym rebar.rba24", 3, 26 },
        { 2, "消防站钢筋.rbt24", "Fire station rebar.rbt24", 1, 47 },
        { 2, "跨河人行桥钢筋.rba24", "River footbridge rebar.rba24", 1, 85 },
        { 3, "人民医院给排水.ina24", "City Hospital plumbing.ina24", 3, 3 },
        { 3, "产业园区宿舍电气.ina24", "Industrial park dormitory wiring.ina24", 2, 19 },
        { 3, "高新区厂房消防.int24", "Tech park factory fire systems.int24", 1, 40 },
        { 3, "图书馆暖通.ina24", "Library HVAC.ina24", 1, 100 },
        { 4, "工程量对比表.xlsx", "Quantity comparison.xlsx", 6, 0, 20 },
        { 4, "材料价格汇总.xls", "Material prices.xls", 3, 1 },
        { 4, "投标文件商务部分.docx", "Bid commercial part.docx", 2, 3 },
        { 4, "施工组织设计.doc", "Construction method statement.doc", 2, 8 },
        { 4, "总平面图.dwg", "Site plan.dwg", 4, 13 },
        { 4, "项目汇报.pptx", "Project review.pptx", 1, 29 },
        { 4, "变更签证台账.xlsx", "Change orders.xlsx", 2, 57 },
        { 4, "结构施工图.dwg", "Structural drawings.dwg", 1, 92 },
        { 4, "办公楼效果图.png", "Office building rendering.png", 3, 4 },
    };
    return samples;
}

const QVector<Sample>& deletedProjects()
{
    static const QVector<Sample> samples = {
        { 0, "滨江路市政道路工程结算(旧).pra4", "Riverside Road final account (old).pra4", 3, 2 },
        { 4, "工程款支付申请表.xlsx", "Payment application.xlsx", 2, 5 },
        { 1, "车库土建算量.cva24", "Garage civil quantities.cva24", 1, 17 },
    };
    return samples;
}

const QVector<Sample>& newProjects()
{
    static const QVector<Sample> samples = {
        { 2, "阳光小区4号楼钢筋.rba24", "Sunshine Estate block 4 rebar.rba24", 0, 0, 25 },
        { 3, "阳光小区3号楼给排水.ina24", "Sunshine Estate block 3 plumbing.ina24", 0, 0, 40 },
        { 4, "阳光小区报价说明.docx", "Sunshine Estate bid notes.docx", 0, 0, 8 },
    };
    return samples;
}

QStringList selfBackups(const QDateTime& now)
{
    // The product names each after the minute it was written.
    const struct
    {
        const char* project;
        const char* english;
        int minutesBack;
    } written[] = {
        { "阳光小区3号楼投标报价/阳光小区3号楼投标报价",
            "Sunshine Estate block 3 bid/Sunshine Estate block 3 bid", 40 },
        { "阳光小区3号楼投标报价/阳光小区3号楼投标报价",
            "Sunshine Estate block 3 bid/Sunshine Estate block 3 bid", 190 },
        { "第二实验小学教学楼招标控制价/第二实验小学教学楼招标控制价",
            "No 2 Primary School classrooms tender cap/No 2 Primary School classrooms tender cap", 60 * 22 },
        { "第二实验小学教学楼招标控制价/第二实验小学教学楼招标控制价",
            "No 2 Primary School classrooms tender cap/No 2 Primary School classrooms tender cap",
            60 * 75 + 25 },
        { "滨江路市政道路工程结算", "Riverside Road final account", 60 * 24 * 5 + 130 },
    };
    QStringList names;
    for (const auto& backup : written) {
        names << QString::fromUtf8(inEnglish() ? backup.english : backup.project) + QLatin1Char('_')
                + now.addSecs(-60 * backup.minutesBack).toString(QStringLiteral("yyyyMMdd_hhmm"))
                + QStringLiteral(".pra4");
    }
    return names;
}

QByteArray content(const QString& path, int version)
{
    const QByteArray document = KDemoDocuments::content(path, version);
    if (!document.isEmpty())
        return document;
    QByteArray bytes = "Tarsel project file (demo)\nfile: " + QFileInfo(path).fileName().toUtf8()
        + "\nversion: " + QByteArray::number(version + 1) + '\n';
    for (int line = 0; line < 60 + 7 * version; ++line)
        bytes += "item " + QByteArray::number(line) + "\tquantity "
            + QByteArray::number((line * 37 + version) % 1000) + "\tprice "
            + QByteArray::number((line * 91 + 13 * version) % 5000) + '\n';
    return bytes;
}

bool buildHistory(KFileServiceManager* engine, const QString& projectsFolder, const QDateTime& now,
    Built* built, QString* error)
{
    const QString folder = QDir(projectsFolder).absolutePath() + QLatin1Char('/');
    for (const Sample& sample : projects()) {
        const QString path = folder + sample.fileName();
        if (!protect(engine, path, sample, now, true, &built->versions, error))
            return false;
        built->sources.append({ sample.kind, path });
    }
    for (const Sample& sample : deletedProjects()) {
        if (!protect(engine, folder + oldProjectsFolder() + QLatin1Char('/') + sample.fileName(), sample, now,
                false, &built->versions, error))
            return false;
    }
    for (const Sample& sample : newProjects()) {
        const QString path = folder + sample.fileName();
        if (!writeFile(path, content(path, 0), now.addSecs(-60 * sample.editedMinutesAgo), error))
            return false;
        built->sources.append({ sample.kind, path });
    }
    return true;
}

bool writeSelfBackups(const QString& folder, const QDateTime& now, QString* error)
{
    for (const QString& name : selfBackups(now)) {
        const QString path = QDir(folder).filePath(name);
        if (!writeFile(path, content(path, 0), timeInName(path), error))
            return false;
    }
    return true;
}

} // namespace KDemoWorkspace
