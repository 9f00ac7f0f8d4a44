// Measures the recovery views against what they are compared with, offscreen, and prints every
// figure as a ratio against a baseline measured in the same run (the median of several runs):
// switching filter and page on the mis-edit page with 10,000 protected files against the same
// with 1,000, and opening the version dialog of a file with a week of versions taken every five
// minutes against filling a plain table with the same texts.
//
//   vaultkeep-uibench <folder> [--repeat R] [--keep] [--versions-only]

#include "Widgets/miscode/kmiscodewidget.h"
#include "Widgets/miscode/kpagespliterwidget.h"
#include "Widgets/miscode/ktypewidget.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/ktimestamp.h"
#include "kfakeplatform.h"
#include "service/kfileservicemanager.h"
#include "service/kservices.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableWidget>
#include <QTextStream>
#include <QUuid>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <time.h>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

constexpr int VersionsOfAWeek = 7 * 24 * 12; // one every five minutes

// The processor time of this thread, in seconds: the views run on one thread, and the machines
// this runs on are shared.
double threadSeconds()
{
    struct timespec now;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double medianOf(QVector<double> seconds)
{
    std::sort(seconds.begin(), seconds.end());
    return seconds.at(seconds.size() / 2);
}

double timed(const std::function<void()>& body)
{
    const double start = threadSeconds();
    body();
    return threadSeconds() - start;
}

// The medians of `ours` and of `baseline`, run by turns, so that a change in the machine's
// load falls on both alike.
QPair<double, double> medians(
    int repeat, const std::function<void()>& ours, const std::function<void()>& baseline)
{
    QVector<double> first;
    QVector<double> second;
    for (int i = 0; i < repeat; ++i) {
        first << timed(ours);
        second << timed(baseline);
    }
    return { medianOf(first), medianOf(second) };
}

// The figures that missed their goals, for the summary line.
QStringList& missed()
{
    static QStringList names;
    return names;
}
int figureCount = 0;

void report(const QString& name, double ours, const QString& baselineName, double baseline, double goal)
{
    const double ratio = ours / baseline;
    ++figureCount;
    if (ratio > goal)
        missed() << name.trimmed();
    out() << QStringLiteral("%1 %2 ms   %3 %4 ms   ratio %5   goal <= %6   %7\n")
                 .arg(name, -40)
                 .arg(ours * 1000, 8, 'f', 2)
                 .arg(baselineName, -26)
                 .arg(baseline * 1000, 8, 'f', 2)
                 .arg(ratio, 6, 'f', 2)
                 .arg(goal, 4, 'f', 2)
                 .arg(ratio <= goal ? QStringLiteral("met") : QStringLiteral("MISSED"));
    out().flush();
}

// Protects files `from` to `to` - 1 of the workspace: each an existing source with one
// version, spread over the five kinds and over the last ten days.
bool protect(KFileServiceManager* engine, const QString& folder, int from, int to)
{
    const QDateTime now = KPlatform::instance()->currentDateTime();
    for (int i = from; i < to; ++i) {
        const QString dir = folder + QStringLiteral("/d%1").arg(i / 500, 3, 10, QLatin1Char('0'));
        if (i % 500 == 0 || i == from)
            QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/工程%1.pra4").arg(i, 5, 10, QLatin1Char('0'));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            return false;
        const QDateTime modified = now.addSecs(-37 * i % (10 * 86400));
        auto* record = new KFileObject(path, i % KFileServiceManager::KindCount);
        record->addVersion(QUuid::createUuid().toString() + QLatin1Char('_') + KTimeStamp::format(modified)
            + QLatin1Char('_') + KTimeStamp::formatDate(modified.date()));
        if (!engine->collection(record->fileType())->addFile(record)) {
            delete record;
            return false;
        }
    }
    return true;
}

// Every filter in turn, each on its first and second page, as a user clicks through them; the
// page is painted after each step.
double switching(KMisCodeWidget& page, int repeat)
{
    constexpr int Steps = 7 * 2;
    QVector<double> seconds;
    for (int i = 0; i < repeat; ++i) {
        seconds << timed([&] {
            for (int type = 0; type < 7; ++type) {
                page.typeWidget()->selectType(type);
                QApplication::processEvents();
                page.pageBar()->pageButtonClick(1);
                QApplication::processEvents();
            }
        });
    }
    return medianOf(seconds) / Steps;
}

int run(const QString& folder, int repeat, bool versionsOnly)
{
    static KFakePlatform platform(folder + QStringLiteral("/machine"));
    KPlatform::setInstance(&platform);
    const QString drive = folder + QStringLiteral("/drive/");
    QDir().mkpath(drive);
    platform.addDrive(drive, KDriveKind::Fixed, KFileSystemKind::Ntfs, 1ull << 40, 1ull << 41);
    if (!KConfig::instance()->setBackUpPath(drive))
        qFatal("cannot write the settings");
    KFileServiceManager* engine = KFileServiceManager::instance();
    const QString sources = folder + QStringLiteral("/src");

    out() << QStringLiteral(
        "Vaultkeep recovery views, offscreen, processor time of the GUI thread, median of %1 "
        "runs, in %2\n\n")
                 .arg(repeat)
                 .arg(folder);
    // The page figure alone takes most of the run; a profile of the dialog can leave it out.
    if (!versionsOnly) {
        KMisCodeWidget page;
        page.setServices(KServices::process());
        page.resize(797, 430);
        page.show();
        if (!protect(engine, sources, 0, 1000))
            return 1;
        engine->onUpdate();
        switching(page, 1); // every row widget made once
        const double small = switching(page, repeat);
        if (!protect(engine, sources, 1000, 10000))
            return 1;
        engine->onUpdate();
        switching(page, 1);
        const double large = switching(page, repeat);
        report(QStringLiteral("filter and page switch, 10,000 files"), large,
            QStringLiteral("the same, 1,000 files"), small, 1.5);
    }

    // A week of versions taken every five minutes.
    const QString path = sources + QStringLiteral("/一周的版本.pra4");
    auto* record = new KFileObject(path, 0);
    QStringList ids;
    QStringList texts;
    const QDateTime start = KPlatform::instance()->currentDateTime().addDays(-7);
    for (int i = 0; i < VersionsOfAWeek; ++i) {
        const QDateTime modified = start.addSecs(300 * i);
        ids << QUuid::createUuid().toString() + QLatin1Char('_') + KTimeStamp::format(modified)
                + QLatin1Char('_') + KTimeStamp::formatDate(modified.date());
        texts << modified.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral(" 备份成功");
    }
    record->addVersions(ids);
    if (!engine->collection(0)->addFile(record))
        return 1;
    const QPair<double, double> opened = medians(
        repeat,
        [&] {
            KFileVersionDlg versions(path, KServices::process());
            // The copies' status is read on another thread; this one sleeps until the list is
            // built, then paints it.
            QEventLoop built;
            QObject::connect(&versions, &KFileVersionDlg::sigListBuilt, &built, &QEventLoop::quit);
            versions.show();
            built.exec();
            QApplication::processEvents();
            QApplication::processEvents();
            if (versions.versionTable()->rowCount() != VersionsOfAWeek)
                std::abort();
        },
        [&] {
            QTableWidget plain;
            plain.resize(533, 335);
            plain.setColumnCount(1);
            plain.setRowCount(texts.size());
            for (int row = 0; row < texts.size(); ++row)
                plain.setItem(row, 0, new QTableWidgetItem(texts.at(row)));
            plain.show();
            QApplication::processEvents();
            QApplication::processEvents();
        });
    report(QStringLiteral("version dialog, %1 versions").arg(VersionsOfAWeek), opened.first,
        QStringLiteral("plain table, same texts"), opened.second, 1.5);
    out() << QStringLiteral("\nsummary: %1 of %2 goals met")
                 .arg(figureCount - missed().size())
                 .arg(figureCount);
    if (!missed().isEmpty())
        out() << QStringLiteral("; missed: ") << missed().join(QStringLiteral(", "));
    out() << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("微软雅黑"), 9));
    QStringList args = QApplication::arguments().mid(1);
    QString folder;
    int repeat = 11;
    bool keep = false;
    bool versionsOnly = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        bool ok = true;
        if (arg == QLatin1String("--repeat"))
            repeat = args.isEmpty() ? 0 : args.takeFirst().toInt(&ok);
        else if (arg == QLatin1String("--keep"))
            keep = true;
        else if (arg == QLatin1String("--versions-only"))
            versionsOnly = true;
        else if (!arg.startsWith(QLatin1Char('-')) && folder.isEmpty())
            folder = arg;
        else
            ok = false;
        if (!ok || repeat < 1) {
            QTextStream(stderr)
                << "usage: vaultkeep-uibench <folder> [--repeat R] [--keep] [--versions-only]\n";
            return 2;
        }
    }
    if (folder.isEmpty() || (QDir(folder).exists() && !QDir(folder).isEmpty())) {
        QTextStream(stderr) << "give a new or empty folder for the workspace\n";
        return 2;
    }
    folder = QDir(folder).absolutePath();
    const int result = run(folder, repeat, versionsOnly);
    if (!keep)
        QDir(folder).removeRecursively();
    out().flush();
    // The engine of the process would save its database into the removed folder on the way out.
    std::quick_exit(result);
}
