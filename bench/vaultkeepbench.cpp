// Measures the protection cycle against the tools a user would compare it with, on a synthetic
// workspace, and prints every figure as a ratio against a baseline measured in the same run
// (the median of several repetitions).
//
//   vaultkeep-bench <folder> [--files N] [--versions V] [--size BYTES] [--repeat R] [--quick] [--keep]
//                   [--move] [--clone] [--clone-dir DIR] [--gui-thread] [--compare-with EARLIER-OUTPUT]
//                   [--profile ROUNDS]

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kcopysums.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "discovery/kdesktoprecentfiles.h"
#include "discovery/kdiskfilemanager.h"
#include "discovery/kproductcatalog.h"
#include "kbenchworkspace.h"
#include "offsite/koffsitebackup.h"
#include "offsite/koffsitehost.h"
#include "platform/kbackgroundpriority.h"
#include "platform/kchildprocess.h"
#include "service/kfileservicemanager.h"
#include "service/ksavewatcher.h"
#include "storage/kbackupfoldermove.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

struct Options
{
    QString folder;
    int files = 10000;
    int versions = 10;
    int size = 16384;
    int repeat = 5;
    bool keep = false;
    bool moveOnly = false;
    bool cloneOnly = false;
    bool guiThreadOnly = false;
    bool partOfRun = false; // the clone figures measured for a full run: no heading of their own
    QString cloneDir; // a folder on a file system that clones; empty: a btrfs image where root may
    QString compareWith; // the output of an earlier run, whose ratios are shown beside
    int profile = 0; // rounds of the unchanged cycle, save and load after the figures, then stop
};

// The median of `seconds`.
double medianOf(QVector<double> seconds)
{
    std::sort(seconds.begin(), seconds.end());
    return seconds.at(seconds.size() / 2);
}

double timed(const std::function<void()>& body)
{
    // Written-back data makes every run start alike: ext4 skips inodes deleted while their
    // table block was still dirty, which would charge earlier runs' clean-up to this one.
    ::sync();
    QElapsedTimer timer;
    timer.start();
    body();
    return double(timer.nsecsElapsed()) / 1e9;
}

// Runs `body` `repeat` times and returns the median in seconds.
double median(int repeat, const std::function<void()>& body)
{
    QVector<double> seconds;
    for (int i = 0; i < repeat; ++i)
        seconds << timed(body);
    return medianOf(seconds);
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

void removeFolder(const QString& path)
{
    QDir(path).removeRecursively();
}

// Writes `bytes` beside `path`, flushes them, renames the new file over `path` and flushes the
// folder: the plainest durable replacement.
void writeDurably(const QString& path, const QByteArray& bytes)
{
    const QByteArray native = QFile::encodeName(path);
    const QByteArray temporary = native + ".new";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written <= 0)
            break;
        done += written;
    }
    ::fsync(fd);
    ::close(fd);
    ::rename(temporary.constData(), native.constData());
    const int folder
        = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    ::fsync(folder);
    ::close(folder);
}

struct Figure
{
    QString name;
    double ours;
    QString baselineName;
    double baseline;
    double goal; // largest acceptable ratio
    bool strictlyBelow = false;
};

struct Verdict
{
    QString name;
    bool met;
};
QList<Verdict> g_verdicts;
QString g_lastName;
// The ratios of an earlier run, by figure and baseline, and the largest growth allowed from them.
QHash<QString, double> g_earlier;
constexpr double MaxGrowth = 1.2;

QString figureKey(const QString& name, const QString& baselineName)
{
    return name + QLatin1Char('|') + baselineName.trimmed();
}

// Reads the ratio lines ("<name> <s> s   <baseline> <s> s   ratio <r>") and the absolute
// figures of an earlier run's output.
bool readEarlierRun(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    static const QRegularExpression ratioLine(
        QStringLiteral("^(.*?)\\s+[0-9.]+ s {3}(.*?)\\s+[0-9.]+ s {3}ratio\\s+([0-9.]+)"));
    static const QRegularExpression absoluteLine(QStringLiteral("^(\\S.*?)\\s{2,}([0-9.]+) (MiB|ms|s) "));
    QString name;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine());
        const QRegularExpressionMatch ratio = ratioLine.match(line);
        if (ratio.hasMatch()) {
            if (!ratio.captured(1).trimmed().isEmpty())
                name = ratio.captured(1).trimmed();
            g_earlier.insert(figureKey(name, ratio.captured(2)), ratio.captured(3).toDouble());
            continue;
        }
        const QRegularExpressionMatch absolute = absoluteLine.match(line);
        if (absolute.hasMatch())
            g_earlier.insert(
                figureKey(absolute.captured(1).trimmed(), QString()), absolute.captured(2).toDouble());
    }
    return true;
}

void verdict(const QString& name, bool met)
{
    g_verdicts << Verdict { name, met };
}

QString metText(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

// " | earlier 1.23, x1.05 <= 1.2 met" when an earlier run measured the same figure.
QString besideEarlier(const QString& key, double value, double maxGrowth = MaxGrowth)
{
    const auto earlier = g_earlier.constFind(key);
    if (earlier == g_earlier.cend() || earlier.value() <= 0)
        return QString();
    const double growth = value / earlier.value();
    const bool met = growth <= maxGrowth;
    // The name as the summary gives it: "<figure> / <baseline> (scale)", or "<figure> (scale)".
    QString name = key;
    name.replace(QLatin1Char('|'), QStringLiteral(" / "));
    if (name.endsWith(QLatin1String(" / ")))
        name.chop(3);
    verdict(name + QStringLiteral(" (scale)"), met);
    return QStringLiteral("   | earlier %1, x%2 goal <= %3 %4")
        .arg(earlier.value(), 0, 'f', 2)
        .arg(growth, 0, 'f', 2)
        .arg(maxGrowth, 0, 'f', 1)
        .arg(metText(met));
}

void report(const Figure& figure)
{
    if (!figure.name.isEmpty())
        g_lastName = figure.name;
    const double ratio = figure.ours / figure.baseline;
    const bool met = figure.strictlyBelow ? ratio < figure.goal : ratio <= figure.goal;
    verdict(g_lastName + QStringLiteral(" / ") + figure.baselineName, met);
    out() << QStringLiteral("%1 %2 s   %3 %4 s   ratio %5   goal %6 %7   %8%9\n")
                 .arg(figure.name, -34)
                 .arg(figure.ours, 8, 'f', 3)
                 .arg(figure.baselineName, -18)
                 .arg(figure.baseline, 8, 'f', 3)
                 .arg(ratio, 6, 'f', 2)
                 .arg(figure.strictlyBelow ? QStringLiteral("<") : QStringLiteral("<="))
                 .arg(figure.goal, 4, 'f', 2)
                 .arg(metText(met), besideEarlier(figureKey(g_lastName, figure.baselineName), ratio));
    out().flush();
}

// A figure without a baseline: `value` in `unit`, against `goal`.
void reportAbsolute(const QString& name, double value, const QString& unit, const QString& what, double goal,
    bool strictlyBelow, double maxGrowth = MaxGrowth)
{
    const bool met = strictlyBelow ? value < goal : value <= goal;
    verdict(name, met);
    out() << QStringLiteral("%1 %2 %3 %4   goal %5 %6 %3   %7%8\n")
                 .arg(name, -34)
                 .arg(value, 8, 'f', 2)
                 .arg(unit, what)
                 .arg(strictlyBelow ? QStringLiteral("<") : QStringLiteral("<="))
                 .arg(goal, 0, 'f', 0)
                 .arg(metText(met), besideEarlier(figureKey(name, QString()), value, maxGrowth));
    out().flush();
}

void reportSummary()
{
    QStringList missed;
    for (const Verdict& v : qAsConst(g_verdicts)) {
        if (!v.met)
            missed << v.name;
    }
    out() << QStringLiteral("\nsummary: %1 of %2 goals met")
                 .arg(g_verdicts.size() - missed.size())
                 .arg(g_verdicts.size());
    if (!missed.isEmpty())
        out() << QStringLiteral("; missed: ") << missed.join(QStringLiteral(", "));
    out() << '\n';
    out().flush();
}

qint64 residentKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The calling thread's processor time, in nanoseconds.
qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// How long the calling thread has waited, runnable, for a processor (0 where the system does not
// say).
qint64 threadRunQueueNs()
{
    char text[96] = {};
    const int fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    return got > 0 && std::sscanf(text, "%llu %llu", &running, &waiting) == 2 ? qint64(waiting) : 0;
}

struct GuiWait
{
    double longestMs = 0; // the longest request, or gap between ticks
    double longestCpuMs = 0; // this thread's processor time: the most one request took, or in that gap
    double longestQueuedMs = 0; // in that gap, the time it waited for a processor
};

// Runs `cycles` full cycles over the workspace's files on a thread of their own, backing every file
// up into `drive` and then looking at them unchanged, while `guiThread` runs on this one until
// `running` turns false. The rows reach a page queued to this thread, as they reach the window's
// pages. The workspace's database is put back afterwards, for whoever measures it next.
void whileCycling(const QString& drive, int cycles,
    const std::function<void(KFileServiceManager&, const std::atomic<bool>& running)>& guiThread)
{
    QDir().mkpath(drive);
    const QString previousDrive = KConfig::instance()->backUpPath();
    if (!KConfig::instance()->setBackUpPath(drive))
        qFatal("cannot write the settings");
    const QString database = KFileServiceManager().databasePath();
    // The sums file goes with it: a load matches the sums against the database's versions.
    const QStringList files { database, KCopySums::pathBeside(database) };
    for (const QString& file : files) {
        QFile::remove(file + QStringLiteral(".aside"));
        QFile::rename(file, file + QStringLiteral(".aside"));
    }
    {
        KFileServiceManager manager;
        KDiskFileManager scanner;
        scanner.attach(&manager);
        if (!scanner.loadProductCatalog(KProductCatalog::builtInPath()))
            qFatal("cannot read the built-in product catalog");
        QObject page;
        int rows = 0;
        QObject::connect(&manager, &KFileServiceManager::sigAfxMisCodeAddRow, &page,
            [&rows](const QString&, const QString&, const QString&, int, int) { ++rows; });
        std::atomic<bool> running { true };
        std::thread scan([&] {
            // As the scanner's own thread runs them.
            KBackgroundPriority::lowerCallingThread();
            for (int i = 0; i < cycles; ++i)
                scanner.runCycle(KDiskFileManager::CycleKind::Full);
            running = false;
        });
        guiThread(manager, running);
        scan.join();
    }
    for (const QString& file : files) {
        QFile::remove(file);
        QFile::rename(file + QStringLiteral(".aside"), file);
    }
    if (!KConfig::instance()->setBackUpPath(previousDrive))
        qFatal("cannot write the settings");
}

// The longest a page request keeps the GUI thread while the scanner's thread cycles. The
// processor time of a request tells work from waiting (for a lock, or for a busy machine).
GuiWait longestPageRequest(const QString& drive, int cycles)
{
    qint64 longest = 0;
    qint64 longestCpu = 0;
    whileCycling(drive, cycles, [&](KFileServiceManager& manager, const std::atomic<bool>& running) {
        QElapsedTimer request;
        for (int n = 0; running; ++n) {
            const qint64 cpu = threadCpuNs();
            request.start();
            switch (n % 4) {
            case 0:
                manager.onShowPageByType(n % 7);
                break;
            case 1:
                manager.onShowPage(2);
                break;
            case 2:
                manager.showPage(0, 1 + n % 5);
                break;
            default:
                manager.pageCount(n % 7);
                break;
            }
            longest = std::max(longest, request.nsecsElapsed());
            longestCpu = std::max(longestCpu, threadCpuNs() - cpu);
            QCoreApplication::processEvents(); // the rows queued by the scanner's refreshes
        }
    });
    return { double(longest) / 1e6, double(longestCpu) / 1e6 };
}

// The longest gap between the ticks of a 1 ms timer on this thread, the window's, while the
// scanner's thread cycles: how long the event loop was kept from the user's input.
GuiWait longestStall(const QString& drive, int cycles)
{
    qint64 longest = 0;
    qint64 longestCpu = 0;
    qint64 longestQueued = 0;
    whileCycling(drive, cycles, [&](KFileServiceManager&, const std::atomic<bool>& running) {
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QElapsedTimer gap;
        gap.start();
        qint64 cpu = threadCpuNs();
        qint64 queued = threadRunQueueNs();
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            const qint64 cpuNow = threadCpuNs();
            const qint64 queuedNow = threadRunQueueNs();
            if (gap.nsecsElapsed() > longest) {
                longest = gap.nsecsElapsed();
                longestCpu = cpuNow - cpu;
                longestQueued = queuedNow - queued;
            }
            gap.start();
            cpu = cpuNow;
            queued = queuedNow;
            if (!running)
                loop.quit();
        });
        tick.start(1);
        loop.exec();
    });
    return { double(longest) / 1e6, double(longestCpu) / 1e6, double(longestQueued) / 1e6 };
}

// From a save of each of `files` (a write and a close, all at once) to its version recorded by the
// watcher of saves on its own thread, through the system's folder watch and the engine: the median.
double saveToVersionSeconds(KFileServiceManager* engine, const QStringList& files)
{
    QThread thread;
    auto* watcher = new KSaveWatcher(engine, KPlatform::instance());
    watcher->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, watcher, &QObject::deleteLater);
    thread.start();
    QMetaObject::invokeMethod(watcher, &KSaveWatcher::followListedFiles, Qt::BlockingQueuedConnection);
    bool watching = false;
    QMetaObject::invokeMethod(
        watcher, [&] { watching = watcher->isWatching(); }, Qt::BlockingQueuedConnection);
    QHash<QString, QElapsedTimer> saved;
    QVector<double> seconds;
    QEventLoop loop;
    QObject::connect(watcher, &KSaveWatcher::sigBackedUp, &loop, [&](const QString& path) {
        const auto it = saved.constFind(path);
        if (it == saved.cend())
            return;
        seconds << double(it->nsecsElapsed()) / 1e9;
        if (seconds.size() == saved.size())
            loop.quit();
    });
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) || file.write("saved") != 5)
            qFatal("cannot save a source");
        file.close();
        saved[path].start();
    }
    // Well past the quiet time: a save the watcher missed is waited for no longer.
    QTimer::singleShot(3 * KSaveWatcher::QuietMs, &loop, &QEventLoop::quit);
    if (watching)
        loop.exec();
    thread.quit();
    thread.wait();
    return seconds.size() == files.size() ? medianOf(seconds) : -1;
}

// Child process: loads the workspace's database into a fresh engine and reports its peak
// resident memory.
int measureResident(const QString& folder)
{
    KBenchWorkspace workspace(folder, 0, 0);
    QString error;
    if (!workspace.create(&error, false)) {
        QTextStream(stderr) << error << '\n';
        return 1;
    }
    const qint64 before = residentKiB("VmHWM:");
    KFileServiceManager manager;
    if (!manager.loadDatabase())
        return 1;
    int records = 0;
    for (int t = 0; t < KFileServiceManager::KindCount; ++t)
        records += manager.collection(t)->count();
    out() << records << ' ' << before << ' ' << residentKiB("VmHWM:") << '\n';
    out().flush();
    // The destructor would save the database again; the measurement is done.
    std::quick_exit(0);
}

// `count` backup copies of `size` bytes, named like backups, each with its own content.
bool fillBackupFolder(const QString& folder, int count, int size)
{
    if (!QDir().mkpath(folder))
        return false;
    QByteArray content(size, 'b');
    for (int i = 0; i < count; ++i) {
        const QByteArray stamp = QByteArray::number(i) + '-' + QUuid::createUuid().toByteArray();
        content.replace(0, stamp.size(), stamp);
        QFile file(folder + QUuid::createUuid().toString() + QStringLiteral("_20240511093012_20240511"));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return false;
    }
    return true;
}

// Reading every file of `folder` back from the disk, as the move verifies its copies: the pages
// in memory dropped and the reads asked for all at once, then each file read whole.
double readBackSeconds(const QString& folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    return timed([&] {
        for (const QString& name : names) {
            const int fd = ::open(QFile::encodeName(folder + QLatin1Char('/') + name).constData(),
                O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
            ::close(fd);
        }
        char buffer[65536];
        for (const QString& name : names) {
            const int fd = ::open(QFile::encodeName(folder + QLatin1Char('/') + name).constData(),
                O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            while (::read(fd, buffer, sizeof buffer) > 0) { }
            ::close(fd);
        }
    });
}

// The backup folder moved between two file systems against `cp -a` followed by `rm -rf`, in both
// directions, and within one file system against `mv`. Runs on the workspace's platform, with
// the second file system a folder below `shm`.
bool benchmarkMove(const Options& options, const QString& shm)
{
    const QString name = KCommon::backupFolderName();
    const auto moveOnce = [&](const QString& from, const QString& to) {
        // As the settings dialog stores the new drive.
        KBackupFolderMove::prepare(from, to);
        if (!KConfig::instance()->setBackUpPath(to))
            qFatal("cannot write the settings");
        return timed([&] {
            if (KBackupFolderMove(from, to).run() != KBackupFolderMove::Result::Moved)
                QTextStream(stderr) << "the move from " << from << " to " << to << " failed\n";
        });
    };
    // The move flushes its copies and their folders to disk before it removes the originals, so
    // the fair contender flushes the destination's file system (syncfs, which writes every file
    // and folder `cp` made) before `rm -rf`. The move also reads every copy back from the disk,
    // which the contender does not. `cp -a` alone is shown for reference.
    const auto copyAndRemove = [&](const QString& from, const QString& to, bool flush) {
        return timed([&] {
            run(QStringLiteral("cp"), { QStringLiteral("-a"), from, to });
            if (flush)
                run(QStringLiteral("sync"), { QStringLiteral("-f"), to });
            run(QStringLiteral("rm"), { QStringLiteral("-rf"), from });
        });
    };
    const auto twoFileSystems = [&](const QString& fromBase, const QString& toBase) {
        QVector<double> ours;
        QVector<double> baseline;
        QVector<double> flushed;
        QVector<double> verified;
        for (int rep = 0; rep < options.repeat; ++rep) {
            const QString from = fromBase + QStringLiteral("/ours%1/").arg(rep);
            const QString to = toBase + QStringLiteral("/ours%1/").arg(rep);
            const QString plainFrom = fromBase + QStringLiteral("/plain%1/").arg(rep);
            const QString plainTo = toBase + QStringLiteral("/plain%1/").arg(rep);
            const QString flushedFrom = fromBase + QStringLiteral("/flushed%1/").arg(rep);
            const QString flushedTo = toBase + QStringLiteral("/flushed%1/").arg(rep);
            if (!fillBackupFolder(KBackupFolderMove::folderOf(from), options.files, options.size)
                || !fillBackupFolder(plainFrom + name + QLatin1Char('/'), options.files, options.size)
                || !fillBackupFolder(flushedFrom + name + QLatin1Char('/'), options.files, options.size)
                || !QDir().mkpath(to) || !QDir().mkpath(plainTo) || !QDir().mkpath(flushedTo)) {
                return false;
            }
            // Each contender starts with nothing left to write back (the filling's, or what an
            // unflushed contender left), and the order turns from run to run.
            for (int turn = 0; turn < 3; ++turn) {
                run(QStringLiteral("sync"), {});
                switch ((rep + turn) % 3) {
                case 0:
                    ours << moveOnce(from, to);
                    break;
                case 1:
                    baseline << copyAndRemove(plainFrom + name, plainTo, false);
                    break;
                default:
                    flushed << copyAndRemove(flushedFrom + name, flushedTo, true);
                    verified << flushed.last() + readBackSeconds(flushedTo + name);
                    break;
                }
            }
            // The moved copies are read back: both moves took every byte.
            if (KCommon::folderSize(KBackupFolderMove::folderOf(to), false)
                    != qint64(options.files) * options.size
                || KCommon::folderSize(flushedTo + name, false) != qint64(options.files) * options.size) {
                QTextStream(stderr) << "a move lost bytes\n";
                return false;
            }
            // Copies on the tmpfs take memory, and deleting them costs the disk nothing.
            if (toBase.startsWith(shm)) {
                for (const QString& moved : { to, plainTo, flushedTo })
                    removeFolder(moved);
            }
        }
        report({ QStringLiteral("move %1 to %2")
                     .arg(fromBase.startsWith(shm) ? QStringLiteral("tmpfs") : QStringLiteral("disk"),
                         toBase.startsWith(shm) ? QStringLiteral("tmpfs") : QStringLiteral("disk")),
            medianOf(ours), QStringLiteral("cp, sync -f, rm"), medianOf(flushed), 1.5, true });
        out() << QStringLiteral("%1 %2 s   %3 %4 s   ratio %5   (for reference, without the flush)\n")
                     .arg(QString(), -34)
                     .arg(medianOf(ours), 8, 'f', 3)
                     .arg(QStringLiteral("cp -a + rm -rf"), -18)
                     .arg(medianOf(baseline), 8, 'f', 3)
                     .arg(medianOf(ours) / medianOf(baseline), 6, 'f', 2);
        out() << QStringLiteral(
            "%1 %2 s   %3 %4 s   ratio %5   (for reference, reading back as the move does)\n")
                     .arg(QString(), -34)
                     .arg(medianOf(ours), 8, 'f', 3)
                     .arg(QStringLiteral("and read back"), -18)
                     .arg(medianOf(verified), 8, 'f', 3)
                     .arg(medianOf(ours) / medianOf(verified), 6, 'f', 2);
        return true;
    };
    // Onto the disk first: ext4 is slow to make files where many were deleted in the last minutes,
    // and the moves off the disk delete.
    if (!twoFileSystems(shm + QStringLiteral("/from"), options.folder + QStringLiteral("/move-in"))
        || !twoFileSystems(options.folder + QStringLiteral("/move-out"), shm + QStringLiteral("/to")))
        return false;

    // Within one file system a move is a rename; both go back and forth between two roots.
    const QString first = options.folder + QStringLiteral("/same-first/");
    const QString second = options.folder + QStringLiteral("/same-second/");
    const QString plainFirst = options.folder + QStringLiteral("/same-plain-first/");
    const QString plainSecond = options.folder + QStringLiteral("/same-plain-second/");
    if (!fillBackupFolder(KBackupFolderMove::folderOf(first), options.files, options.size)
        || !fillBackupFolder(plainFirst + name + QLatin1Char('/'), options.files, options.size)
        || !QDir().mkpath(second) || !QDir().mkpath(plainSecond)) {
        return false;
    }
    QVector<double> ours;
    QVector<double> baseline;
    for (int rep = 0; rep < options.repeat * 4; ++rep) {
        const bool forth = rep % 2 == 0;
        ours << moveOnce(forth ? first : second, forth ? second : first);
        baseline << timed([&] {
            run(QStringLiteral("mv"),
                { (forth ? plainFirst : plainSecond) + name, forth ? plainSecond : plainFirst });
        });
    }
    report({ QStringLiteral("move within one file system"), medianOf(ours), QStringLiteral("mv"),
        medianOf(baseline), 2.0 });
    return true;
}

// The upload of the backup folder and the database to a new restic repository in the workspace,
// against a plain `restic backup` of the same paths to another, by turns. Both repositories are
// copies of one made beforehand: making one derives its key for seconds. Both run at idle CPU and
// I/O priority.
bool benchmarkOffsite(const Options& options, const QString& backups, const QString& database)
{
    struct Host final : KOffsiteHost
    {
        QString folder;
        QStringList files;
        QString backupFolder() const override { return folder; }
        QStringList databaseFiles() const override { return files; }
        SumLookup recordedSums(const QString&) const override { return {}; }
        bool importDatabase(const QString&) override { return false; }
    } host;
    host.folder = backups;
    host.files = QStringList { database };
    if (KResticCommand::findProgram(QStringLiteral("restic")).isEmpty())
        return false;
    const QByteArray password = QUuid::createUuid().toByteArray();
    const QString folder = options.folder + QStringLiteral("/offsite");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("RESTIC_PASSWORD"), QString::fromLatin1(password));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), folder + QStringLiteral("/cache"));
    // At the idle priorities the product's runs take, so that both wait alike for the machine.
    const auto restic = [&](const QString& repository, const QStringList& arguments) {
        KChildProcess process;
        process.setIdlePriority(true);
        environment.insert(QStringLiteral("RESTIC_REPOSITORY"), repository);
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.launch(QStringLiteral("restic"), arguments);
        return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    };
    const QString made = folder + QStringLiteral("/made");
    if (!restic(made, { QStringLiteral("init") }))
        return false;
    QVector<double> ours;
    QVector<double> plain;
    bool failed = false;
    for (int rep = 0; rep < options.repeat && !failed; ++rep) {
        const QString repository = folder + QStringLiteral("/ours%1").arg(rep);
        const QString baseline = folder + QStringLiteral("/plain%1").arg(rep);
        if (!run(QStringLiteral("cp"), { QStringLiteral("-r"), made, repository })
            || !run(QStringLiteral("cp"), { QStringLiteral("-r"), made, baseline }))
            return false;
        KOffsiteBackup offsite(
            &host, KPlatform::instance(), folder + QStringLiteral("/Offsite%1.ini").arg(rep));
        KOffsiteSettings settings;
        settings.enabled = true;
        settings.repository = repository;
        // The copies share the repository's id, and so restic's cache: each run has a fresh one.
        const auto upload = [&] {
            qputenv("XDG_CACHE_HOME", QFile::encodeName(folder + QStringLiteral("/cache-ours%1").arg(rep)));
            ours << timed([&] {
                offsite.setSettings(settings);
                offsite.setPassword(password);
                offsite.onVersionsMade();
                while (offsite.isBusy())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            });
            failed |= offsite.status().lastBackupMSecs < 0;
        };
        const auto backUp = [&] {
            environment.insert(
                QStringLiteral("XDG_CACHE_HOME"), folder + QStringLiteral("/cache-plain%1").arg(rep));
            plain << timed([&] {
                failed |= !restic(baseline,
                    { QStringLiteral("backup"), QStringLiteral("--json"), QStringLiteral("--tag"),
                        KOffsiteBackup::Tag, backups, database });
            });
        };
        // By turns, so that neither always meets the page cache the other warmed.
        if (rep % 2 == 0) {
            upload();
            backUp();
        } else {
            backUp();
            upload();
        }
    }
    if (failed)
        return false;
    report({ QStringLiteral("off-site upload"), medianOf(ours), QStringLiteral("restic backup"),
        medianOf(plain), 1.1 });
    return true;
}

// A folder on a file system that clones: below the one given, or a btrfs image made and mounted in
// the workspace where the bench runs as root. whyNot() says why there is none.
class CloneFolder
{
public:
    CloneFolder(const Options& options, qint64 imageBytes)
    {
        if (!options.cloneDir.isEmpty()) {
            m_path = QDir(options.cloneDir).absolutePath()
                + QStringLiteral("/vaultkeep-bench-%1").arg(QCoreApplication::applicationPid());
            m_ownFolder = !options.keep;
        } else if (::geteuid() != 0) {
            m_whyNot
                = QStringLiteral("only root can mount a btrfs image; give --clone-dir DIR on btrfs or XFS");
            return;
        } else {
            const QString image = options.folder + QStringLiteral("/btrfs.img");
            m_path = options.folder + QStringLiteral("/btrfs");
            QFile file(image);
            if (!QDir().mkpath(m_path) || !file.open(QIODevice::WriteOnly) || !file.resize(imageBytes)
                || !run(QStringLiteral("mkfs.btrfs"), { QStringLiteral("-q"), image })
                || !run(QStringLiteral("mount"),
                    { QStringLiteral("-o"), QStringLiteral("loop"), image, m_path })) {
                m_whyNot
                    = QStringLiteral("no btrfs image could be made and mounted (is btrfs-progs installed?)");
                m_path.clear();
                return;
            }
            m_mounted = true;
        }
        // Whether it clones, asked as a user would.
        const QString probe = m_path + QStringLiteral("/probe");
        if (!QDir().mkpath(m_path) || !QFile(probe).open(QIODevice::WriteOnly)
            || !run(QStringLiteral("cp"),
                { QStringLiteral("--reflink=always"), probe, probe + QLatin1Char('2') })) {
            m_whyNot = m_path + QStringLiteral(" is on a file system that cannot clone");
        }
        QFile::remove(probe);
        QFile::remove(probe + QLatin1Char('2'));
    }
    ~CloneFolder()
    {
        if (m_ownFolder)
            removeFolder(m_path);
        if (m_mounted)
            run(QStringLiteral("umount"), { m_path });
    }
    bool clones() const { return m_whyNot.isEmpty(); }
    QString path() const { return m_path; }
    QString whyNot() const { return m_whyNot; }

private:
    QString m_path;
    QString m_whyNot;
    bool m_ownFolder = false;
    bool m_mounted = false;
    Q_DISABLE_COPY(CloneFolder)
};

// The file system's used bytes, once everything written has reached it.
qint64 usedBytes(const QString& path)
{
    ::sync();
    const QStorageInfo storage(path);
    return storage.bytesTotal() - storage.bytesFree();
}

// The bytes of the files below `folder` that no other file shares, as `btrfs filesystem du` counts
// them; -1 when it cannot tell.
qint64 exclusiveBytes(const QString& folder)
{
    QProcess process;
    process.start(QStringLiteral("btrfs"),
        { QStringLiteral("filesystem"), QStringLiteral("du"), QStringLiteral("-s"), QStringLiteral("--raw"),
            folder });
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    // "Total Exclusive Set-shared Filename", then one line of figures.
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    const QList<QByteArray> fields = lines.value(1).simplified().split(' ');
    bool ok = false;
    const qint64 exclusive = fields.value(1).toLongLong(&ok);
    return ok ? exclusive : -1;
}

// Backing up N changed files on a file system that clones, against `cp --reflink=never` of the same
// files followed by `sync -f`, and what the new versions cost in space. Runs on a workspace of its
// own in that file system; where there is none, says why and measures nothing.
int benchmarkClone(const Options& options)
{
    if (!options.partOfRun) {
        out() << QStringLiteral("Vaultkeep benchmark: backing up %1 changed files of %2 bytes where the file "
                                "system clones, median of %3 runs, in %4\n\n")
                     .arg(options.files)
                     .arg(options.size)
                     .arg(options.repeat)
                     .arg(options.folder);
    }
    const qint64 data = qint64(options.files) * options.size;
    if (!QDir().mkpath(options.folder))
        return 1;
    const CloneFolder cow(options, qMax<qint64>(1024 * 1024 * 1024, 3 * data * (options.repeat + 2)));
    const QString skipped
        = QStringLiteral("%1 skipped: %2\n").arg(QStringLiteral("changed files, cloned"), -34);
    if (!cow.clones()) {
        out() << skipped.arg(cow.whyNot());
        return 0;
    }
    KBenchWorkspace workspace(cow.path() + QStringLiteral("/workspace"), options.files, options.size);
    QString error;
    if (!workspace.create(&error)) {
        QTextStream(stderr) << error << '\n';
        return 1;
    }
    KFileServiceManager manager;
    QFile::remove(manager.databasePath());
    KDiskFileManager scanner;
    scanner.attach(&manager);
    if (!scanner.loadProductCatalog(KProductCatalog::builtInPath()))
        qFatal("cannot read the built-in product catalog");
    scanner.runCycle(KDiskFileManager::CycleKind::Full); // every file's first version
    const QString backups = KCommon::backupDirectory();

    QVector<double> ours;
    QVector<double> plain;
    QVector<double> alone;
    QVector<double> exclusive;
    QVector<double> usedByOurs;
    QVector<double> usedByCp;
    bool spaceMeasured = true;
    QByteArray content(options.size, 'w');
    int versions = 0;
    for (int rep = 0; rep < options.repeat; ++rep) {
        // Every file saved again, whole, as a program saves it, a minute apart: versions are told
        // apart by the second of their time.
        const QDateTime saved = QDateTime::currentDateTime().addSecs(60 * (rep - options.repeat));
        for (int i = 0; i < workspace.sources().size(); ++i) {
            const QByteArray stamp = QByteArray::number(rep) + '.' + QByteArray::number(i) + '.';
            content.replace(0, stamp.size(), stamp);
            QFile file(workspace.sources().at(i));
            if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.flush()
                || !file.setFileTime(saved, QFileDevice::FileModificationTime)) {
                qFatal("cannot change the sources");
            }
        }
        const QString cpTarget = cow.path() + QStringLiteral("/cp%1").arg(rep);
        const auto backUp = [&] {
            const qint64 exclusiveBefore = exclusiveBytes(backups);
            const qint64 usedBefore = usedBytes(backups);
            ours << timed([&] { scanner.runCycle(KDiskFileManager::CycleKind::Full); });
            usedByOurs << double(usedBytes(backups) - usedBefore);
            const qint64 exclusiveAfter = exclusiveBytes(backups);
            spaceMeasured = spaceMeasured && exclusiveBefore >= 0 && exclusiveAfter >= 0;
            exclusive << double(exclusiveAfter - exclusiveBefore);
        };
        const auto copy = [&] {
            const qint64 usedBefore = usedBytes(cow.path());
            plain << timed([&] {
                run(QStringLiteral("cp"),
                    { QStringLiteral("-r"), QStringLiteral("--reflink=never"), workspace.sourceFolder(),
                        cpTarget });
                run(QStringLiteral("sync"), { QStringLiteral("-f"), cpTarget });
            });
            usedByCp << double(usedBytes(cow.path()) - usedBefore);
        };
        // What the file system asks of any version made this way: create, clone, close, then one
        // flush, with nothing read, summed, checked or recorded. Below it no backup can go.
        const QString aloneTarget = cow.path() + QStringLiteral("/alone%1/").arg(rep);
        const auto cloneAlone = [&] {
            if (!QDir().mkpath(aloneTarget))
                qFatal("cannot make %s", qPrintable(aloneTarget));
            alone << timed([&] {
                for (int i = 0; i < workspace.sources().size(); ++i) {
                    const int from = ::open(
                        QFile::encodeName(workspace.sources().at(i)).constData(), O_RDONLY | O_CLOEXEC);
                    const int to = ::open(QFile::encodeName(aloneTarget + QString::number(i)).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                    if (from < 0 || to < 0 || ::ioctl(to, FICLONE, from) != 0)
                        qFatal("cannot clone a source");
                    ::close(to);
                    ::close(from);
                }
                const int folder = ::open(QFile::encodeName(aloneTarget).constData(), O_RDONLY | O_CLOEXEC);
                if (folder < 0 || ::syncfs(folder) != 0)
                    qFatal("cannot flush the clones");
                ::close(folder);
            });
        };
        // By turns, so that none always finds the sources' pages another read.
        const std::function<void()> contenders[] = { backUp, copy, cloneAlone };
        for (int i = 0; i < 3; ++i)
            contenders[(rep + i) % 3]();
        removeFolder(cpTarget);
        removeFolder(aloneTarget);
        versions = 0;
        for (const QString& source : workspace.sources())
            versions += manager.findFile(source) ? manager.findFile(source)->versionCount() : 0;
    }
    if (versions != options.files * (options.repeat + 1)) {
        QTextStream(stderr) << "the cycles made " << versions << " versions\n";
        return 1;
    }
    report({ QStringLiteral("changed files, cloned"), medianOf(ours), QStringLiteral("cp no reflink, sync"),
        medianOf(plain), 0.2 });
    out() << QStringLiteral("%1 %2 s   %3 %4 s   ratio %5   (for reference: the calls alone, %6 of the cp)\n")
                 .arg(QString(), -34)
                 .arg(medianOf(ours), 8, 'f', 3)
                 .arg(QStringLiteral("create, clone, sync"), -18)
                 .arg(medianOf(alone), 8, 'f', 3)
                 .arg(medianOf(ours) / medianOf(alone), 6, 'f', 2)
                 .arg(medianOf(alone) / medianOf(plain), 0, 'f', 2);
    const double mib = 1024 * 1024;
    const double share = medianOf(exclusive) / double(data);
    if (spaceMeasured) {
        out() << QStringLiteral("%1 %2 MiB   %3 %4 MiB   ratio %5   goal < 0.01   %6\n")
                     .arg(QStringLiteral("space of the new versions"), -34)
                     .arg(medianOf(exclusive) / mib, 8, 'f', 2)
                     .arg(QStringLiteral("data backed up"), -18)
                     .arg(double(data) / mib, 8, 'f', 2)
                     .arg(share, 6, 'f', 4)
                     .arg(share < 0.01 ? QStringLiteral("met") : QStringLiteral("MISSED"));
    } else {
        out() << skipped.arg(QStringLiteral("btrfs filesystem du cannot measure ") + backups);
    }
    out() << QStringLiteral("%1 %2 MiB   %3 %4 MiB   ratio %5   (for reference, df: metadata included)\n")
                 .arg(QString(), -34)
                 .arg(medianOf(usedByOurs) / mib, 8, 'f', 2)
                 .arg(QStringLiteral("used by the cp"), -18)
                 .arg(medianOf(usedByCp) / mib, 8, 'f', 2)
                 .arg(medianOf(usedByOurs) / medianOf(usedByCp), 6, 'f', 2);
    out().flush();
    return 0;
}

// Creates the workspace with its sources, or says why it cannot.
bool created(KBenchWorkspace* workspace)
{
    QString error;
    if (workspace->create(&error))
        return true;
    QTextStream(stderr) << error << '\n';
    return false;
}

// Deletes the workspace unless it is kept, and prints the summary.
int endRun(const Options& options)
{
    if (!options.keep)
        removeFolder(options.folder);
    else
        out() << "workspace kept in " << options.folder << '\n';
    reportSummary();
    return 0;
}

// The GUI thread while cycles run over every file: page requests, and its event loop.
void measureGuiThread(const Options& options)
{
    const GuiWait wait = longestPageRequest(options.folder + QStringLiteral("/drivepages/"), 3);
    reportAbsolute(QStringLiteral("longest page request"), wait.longestMs, QStringLiteral("ms"),
        QStringLiteral("while a cycle backs up %1 files and two more look at them (%2 ms processor time)")
            .arg(options.files)
            .arg(wait.longestCpuMs, 0, 'f', 2),
        16, true);
    const GuiWait stall = longestStall(options.folder + QStringLiteral("/drivestall/"), 2);
    reportAbsolute(QStringLiteral("longest event-loop stall"), stall.longestMs, QStringLiteral("ms"),
        QStringLiteral("while a cycle backs up %1 files and one more looks at them (%2 ms processor time, "
                       "%3 ms waiting for a processor)")
            .arg(options.files)
            .arg(stall.longestCpuMs, 0, 'f', 2)
            .arg(stall.longestQueuedMs, 0, 'f', 2),
        8, false);
}

// Only the GUI thread's figures. Their cycles start from an empty database on drives of their
// own, so the workspace needs the sources alone: no older versions, no baselines.
int benchmarkGuiThread(const Options& options)
{
    out() << "Vaultkeep benchmark: the GUI thread while cycles run over " << options.files << " files of "
          << options.size << " bytes, in " << options.folder << "\n\n";
    KBenchWorkspace workspace(options.folder, options.files, options.size);
    if (!created(&workspace))
        return 1;
    measureGuiThread(options);
    return endRun(options);
}

int benchmark(const Options& options)
{
    out() << QStringLiteral(
        "Vaultkeep benchmark: %1 files of %2 bytes, %3 versions each, median of %4 runs, in %5\n\n")
                 .arg(options.files)
                 .arg(options.size)
                 .arg(options.versions)
                 .arg(options.repeat)
                 .arg(options.folder);
    KBenchWorkspace workspace(options.folder, options.files, options.size);
    if (!created(&workspace))
        return 1;
    const QString source = workspace.sourceFolder();

    // First full cycle: every file is new and is backed up. The three contenders take turns,
    // each writing into a folder of its own, so that none profits from the others' clean-up.
    QScopedPointer<KFileServiceManager> manager;
    QScopedPointer<KDiskFileManager> scanner;
    QVector<double> ours;
    QVector<double> cps;
    QVector<double> cpSyncs;
    QVector<double> rsyncs;
    for (int rep = 0; rep < options.repeat; ++rep) {
        const QString drive = options.folder + QStringLiteral("/drive%1/").arg(rep);
        QDir().mkpath(drive);
        if (!KConfig::instance()->setBackUpPath(drive))
            qFatal("cannot write the settings");
        scanner.reset();
        manager.reset();
        manager.reset(new KFileServiceManager);
        QFile::remove(manager->databasePath());
        scanner.reset(new KDiskFileManager);
        scanner->attach(manager.data());
        if (!scanner->loadProductCatalog(KProductCatalog::builtInPath()))
            qFatal("cannot read the built-in product catalog");
        ours << timed([&] { scanner->runCycle(); });
        const QString cpTarget = options.folder + QStringLiteral("/cp%1").arg(rep);
        const QString rsyncTarget = options.folder + QStringLiteral("/rsync%1/").arg(rep);
        // The cycle flushes its copies to disk before the database lists them; the fair
        // contender does as much.
        double copied = 0;
        cpSyncs << timed([&] {
            copied = timed([&] { run(QStringLiteral("cp"), { QStringLiteral("-r"), source, cpTarget }); });
            run(QStringLiteral("sync"), { QStringLiteral("-f"), cpTarget });
        });
        cps << copied;
        rsyncs << timed([&] {
            run(QStringLiteral("rsync"), { QStringLiteral("-a"), source + QLatin1Char('/'), rsyncTarget });
        });
    }
    if (manager->collection(0)->count() != options.files) {
        QTextStream(stderr) << "the first cycle protected " << manager->collection(0)->count() << " files\n";
        return 1;
    }
    const double firstCycle = medianOf(ours);
    report({ QStringLiteral("first cycle, backing up every file"), firstCycle,
        QStringLiteral("cp -r, sync -f"), medianOf(cpSyncs), 1.3 });
    out() << QStringLiteral("%1 %2 s   %3 %4 s   ratio %5   (for reference, without the flush)\n")
                 .arg(QString(), -34)
                 .arg(firstCycle, 8, 'f', 3)
                 .arg(QStringLiteral("cp -r"), -18)
                 .arg(medianOf(cps), 8, 'f', 3)
                 .arg(firstCycle / medianOf(cps), 6, 'f', 2);
    report({ QString(), firstCycle, QStringLiteral("rsync -a"), medianOf(rsyncs), 1.0, true });
    const QString backups = KCommon::backupDirectory();
    const QString scratch = options.folder + QStringLiteral("/rsync0");

    // A full cycle with nothing changed, over files with several versions each.
    if (!KBenchWorkspace::addOlderVersions(manager.data(), workspace.sources(), options.versions - 1)) {
        QTextStream(stderr) << "cannot add older versions\n";
        return 1;
    }
    if (!manager->saveDatabase()) {
        QTextStream(stderr) << "cannot save the database\n";
        return 1;
    }
    scanner->runCycle(KDiskFileManager::CycleKind::Full); // settles the start-up clean-up request
    const double unchanged
        = median(options.repeat, [&] { scanner->runCycle(KDiskFileManager::CycleKind::Full); });
    QVector<QByteArray> nativePaths;
    for (const QString& path : workspace.sources())
        nativePaths << QFile::encodeName(path);
    const double statLoop = median(options.repeat, [&] {
        struct stat info;
        for (const QByteArray& path : qAsConst(nativePaths))
            ::stat(path.constData(), &info);
    });
    const double rsyncUnchanged = median(options.repeat, [&] {
        run(QStringLiteral("rsync"),
            { QStringLiteral("-a"), source + QLatin1Char('/'), scratch + QLatin1Char('/') });
    });
    report({ QStringLiteral("full cycle, nothing changed"), unchanged, QStringLiteral("stat loop"), statLoop,
        2.0, true });
    report({ QString(), unchanged, QStringLiteral("rsync -a, no change"), rsyncUnchanged, 1.0, true });

    // The desktop's recent-file lists, naming files the cycle protects already, so that the
    // figures are the cost of the lists and not of more files to protect.
    QString xbel;
    QString office;
    if (!workspace.writeDesktopRecentLists(1000, 5 * 1024 * 1024, &xbel, &office)) {
        QTextStream(stderr) << "cannot write the desktop's recent-file lists\n";
        return 1;
    }
    KConfig* config = KConfig::instance();
    const auto readLists = [config](bool on) {
        if (!config->setReadRecentlyUsedXbel(on))
            qFatal("cannot write the settings");
        if (!config->setReadLibreOfficeHistory(on))
            qFatal("cannot write the settings");
        if (!config->setReadKdeRecentDocuments(on))
            qFatal("cannot write the settings");
    };
    scanner->runCycle(KDiskFileManager::CycleKind::Full); // reads the lists once
    const int parses = scanner->desktopRecentFiles().parseCount();
    // Taking turns, so that both sides see the machine alike.
    QVector<double> withLists;
    QVector<double> withoutLists;
    for (int rep = 0; rep < 3 * options.repeat; ++rep) {
        withLists << timed([&] { scanner->runCycle(KDiskFileManager::CycleKind::Full); });
        readLists(false);
        withoutLists << timed([&] { scanner->runCycle(KDiskFileManager::CycleKind::Full); });
        readLists(true);
    }
    const bool readOnce = scanner->desktopRecentFiles().parseCount() == parses;
    report({ QStringLiteral("cycle, desktop lists unchanged"), medianOf(withLists),
        QStringLiteral("without the lists"), medianOf(withoutLists), 1.1 });
    if (!readOnce)
        out() << "  (the unchanged lists were read again)\n";
    const double listsChanged = median(options.repeat, [&] { KDesktopRecentFiles().documents(); });
    const double xmllint = median(options.repeat, [&] {
        run(QStringLiteral("xmllint"), { QStringLiteral("--noout"), xbel, office });
    });
    report({ QStringLiteral("desktop lists, read after a change"), listsChanged,
        QStringLiteral("xmllint --noout"), xmllint, 1.0 });

    // The database of N x V versions, saved and loaded.
    const QString database = manager->databasePath();
    if (!manager->saveDatabase()) {
        QTextStream(stderr) << "cannot save the database\n";
        return 1;
    }
    QFile saved(database);
    saved.open(QIODevice::ReadOnly);
    const QByteArray bytes = saved.readAll();
    saved.close();
    const QString copy = options.folder + QStringLiteral("/database-copy.xml");
    // The database is replaced durably (a new file, flushed to disk, renamed over the old one,
    // the folder flushed), so its baseline writes the same bytes the same way. A plain write into
    // the page cache is shown too, for what the flushes cost. The two take turns: the older
    // versions were just copied, and while the kernel still writes them out, every write waits.
    QVector<double> saves;
    QVector<double> durableWrites;
    bool allSaved = true;
    for (int rep = 0; rep < options.repeat; ++rep) {
        saves << timed([&] { allSaved = manager->saveDatabase() && allSaved; });
        durableWrites << timed([&] { writeDurably(copy, bytes); });
    }
    if (!allSaved) {
        QTextStream(stderr) << "a save of the database failed\n";
        return 1;
    }
    const double save = medianOf(saves);
    const double durableWrite = medianOf(durableWrites);
    const double write = median(options.repeat, [&] {
        QFile file(copy);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
    });
    QVector<QByteArray> versionPaths;
    for (const QString& path : workspace.sources()) {
        const QStringList ids = manager->findFile(path)->versionIds();
        for (const QString& id : ids)
            versionPaths << QFile::encodeName(backups + id);
    }
    // By turns, so that a change in the machine's state weighs on both alike.
    QVector<double> loads;
    QVector<double> reads;
    for (int rep = 0; rep < options.repeat; ++rep) {
        KFileServiceManager loaded;
        bool found = false;
        loads << timed([&] { found = loaded.loadDatabase(); });
        if (!found)
            qFatal("the database to load is missing");
        reads << timed([&] {
            QFile file(copy);
            file.open(QIODevice::ReadOnly);
            const QByteArray readBack = file.readAll();
            Q_UNUSED(readBack)
            struct stat info;
            for (const QByteArray& path : qAsConst(versionPaths))
                ::stat(path.constData(), &info);
        });
    }
    const double load = medianOf(loads);
    const double read = medianOf(reads);
    QFile::remove(copy);
    report(
        { QStringLiteral("database save"), save, QStringLiteral("write + flush"), durableWrite, 1.3, true });
    out() << QStringLiteral("%1 %2 s   %3 %4 s   ratio %5   (for reference, without the flush)\n")
                 .arg(QString(), -34)
                 .arg(save, 8, 'f', 3)
                 .arg(QStringLiteral("plain write"), -18)
                 .arg(write, 8, 'f', 3)
                 .arg(save / write, 6, 'f', 2);
    report({ QStringLiteral("database load"), load, QStringLiteral("read + stat each"), read, 1.5, true });
    if (options.profile > 0) {
        // For a profiler: the unchanged cycle, the save and the load, over and over.
        for (int i = 0; i < options.profile; ++i) {
            ::access("/vaultkeep-profile-cycle", F_OK); // a mark for strace
            scanner->runCycle(KDiskFileManager::CycleKind::Full);
            ::access("/vaultkeep-profile-save", F_OK);
            if (!manager->saveDatabase())
                return 1;
            KFileServiceManager loaded;
            ::access("/vaultkeep-profile-load", F_OK);
            if (!loaded.loadDatabase())
                return 1;
        }
        if (!options.keep)
            removeFolder(options.folder);
        return 0;
    }

    // The backup folder's size.
    qint64 size = 0;
    const double folderSize = median(options.repeat, [&] { size = KCommon::folderSize(backups, false); });
    const double du = median(options.repeat, [&] {
        run(QStringLiteral("du"), { QStringLiteral("-sb"), backups });
    });
    report({ QStringLiteral("backup folder size"), folderSize, QStringLiteral("du -sb"), du, 1.5 });
    if (!benchmarkOffsite(options, backups, manager->databasePath()))
        out() << "off-site upload: could not be measured (is restic installed?)\n";

    // From a save to its version, through the folder watch: a few files saved at once, since
    // each waits out the quiet time.
    const QStringList savedFiles = workspace.sources().mid(0, 5);
    const double saveToVersion = saveToVersionSeconds(manager.data(), savedFiles);
    if (saveToVersion < 0)
        out() << "save to version: not every save was backed up\n";
    else
        reportAbsolute(QStringLiteral("save to version"), saveToVersion, QStringLiteral("s"),
            QStringLiteral("median of %1 files saved at once").arg(savedFiles.size()), 12, true, 1.1);

    // Peak resident memory of a process that loads the database, as much above the process's
    // own as the records take: the figure is the whole process's peak.
    scanner.reset();
    manager.reset();
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--resident"), options.folder });
    child.waitForFinished(-1);
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 3) {
        reportAbsolute(QStringLiteral("peak resident memory"), fields.at(2).toDouble() / 1024,
            QStringLiteral("MiB"),
            QStringLiteral("after loading %1 records with %2 versions (%3 MiB before)")
                .arg(QString::fromLatin1(fields.at(0)))
                .arg(qint64(options.files) * options.versions)
                .arg(fields.at(1).toDouble() / 1024, 0, 'f', 1),
            16, true, 10);
    } else {
        out() << "peak resident memory: the measuring process failed\n";
    }
    measureGuiThread(options);

    const QString shm = QStringLiteral("/dev/shm/vaultkeep-bench-%1").arg(QCoreApplication::applicationPid());
    if (!benchmarkMove(options, shm))
        out() << "backup folder move: could not be measured\n";
    removeFolder(shm);
    // On a workspace of their own, in a process of their own.
    QProcess clone;
    clone.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList cloneArguments { options.folder + QStringLiteral("/clone"), QStringLiteral("--clone"),
        QStringLiteral("--part-of-run"), QStringLiteral("--files"), QString::number(options.files),
        QStringLiteral("--size"), QString::number(options.size), QStringLiteral("--repeat"),
        QString::number(options.repeat) };
    if (!options.cloneDir.isEmpty())
        cloneArguments << QStringLiteral("--clone-dir") << options.cloneDir;
    clone.start(QCoreApplication::applicationFilePath(), cloneArguments);
    if (!clone.waitForFinished(-1) || clone.exitCode() != 0)
        out() << "changed files, cloned: could not be measured\n";
    out() << QStringLiteral("\nbackup folder: %1 in %2 versions\n")
                 .arg(KCommon::formatSize(size))
                 .arg(qint64(options.files) * options.versions);
    // Nothing is deleted before this point: on a file system without a journal, ext4 skips
    // inodes deleted in the last minutes, which would slow every file created after them.
    return endRun(options);
}

// Only the figures of the backup folder move, for N backup copies of the given size.
int benchmarkMoveOnly(const Options& options)
{
    out() << QStringLiteral(
        "Vaultkeep benchmark: moving %1 backups of %2 bytes, median of %3 runs, in %4\n\n")
                 .arg(options.files)
                 .arg(options.size)
                 .arg(options.repeat)
                 .arg(options.folder);
    KBenchWorkspace workspace(options.folder, 0, 0);
    QString error;
    if (!workspace.create(&error, false)) {
        QTextStream(stderr) << error << '\n';
        return 1;
    }
    const QString shm = QStringLiteral("/dev/shm/vaultkeep-bench-%1").arg(QCoreApplication::applicationPid());
    const bool measured = benchmarkMove(options, shm);
    removeFolder(shm);
    if (!options.keep)
        removeFolder(options.folder);
    reportSummary();
    return measured ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args.first() == QLatin1String("--resident"))
        return measureResident(args.at(1));

    Options options;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        const auto number = [&](int* value) {
            bool ok = false;
            *value = args.isEmpty() ? 0 : args.takeFirst().toInt(&ok);
            return ok && *value > 0;
        };
        bool ok = true;
        if (arg == QLatin1String("--files"))
            ok = number(&options.files);
        else if (arg == QLatin1String("--versions"))
            ok = number(&options.versions);
        else if (arg == QLatin1String("--size"))
            ok = number(&options.size);
        else if (arg == QLatin1String("--repeat"))
            ok = number(&options.repeat);
        else if (arg == QLatin1String("--quick")) {
            options.files = 1000;
            options.versions = 3;
            options.repeat = 3;
        } else if (arg == QLatin1String("--move"))
            options.moveOnly = true;
        else if (arg == QLatin1String("--clone"))
            options.cloneOnly = true;
        else if (arg == QLatin1String("--gui-thread"))
            options.guiThreadOnly = true;
        else if (arg == QLatin1String("--clone-dir") && !args.isEmpty())
            options.cloneDir = args.takeFirst();
        else if (arg == QLatin1String("--part-of-run"))
            options.partOfRun = true;
        else if (arg == QLatin1String("--keep"))
            options.keep = true;
        else if (arg == QLatin1String("--profile"))
            ok = number(&options.profile);
        else if (arg == QLatin1String("--compare-with") && !args.isEmpty())
            options.compareWith = args.takeFirst();
        else if (!arg.startsWith(QLatin1Char('-')) && options.folder.isEmpty())
            options.folder = arg;
        else
            ok = false;
        if (!ok) {
            QTextStream(stderr)
                << "usage: vaultkeep-bench <folder> [--files N] [--versions V] [--size BYTES] "
                   "[--repeat R] [--quick] [--keep] [--move] [--clone] [--clone-dir DIR] "
                   "[--gui-thread] [--compare-with EARLIER-OUTPUT] [--profile ROUNDS]\n";
            return 2;
        }
    }
    if (options.folder.isEmpty() || (QDir(options.folder).exists() && !QDir(options.folder).isEmpty())) {
        QTextStream(stderr) << "give a new or empty folder for the workspace\n";
        return 2;
    }
    options.folder = QDir(options.folder).absolutePath();
    if (!options.compareWith.isEmpty() && !readEarlierRun(options.compareWith)) {
        QTextStream(stderr) << "cannot read " << options.compareWith << '\n';
        return 2;
    }
    if (options.cloneOnly) {
        const int result = benchmarkClone(options);
        if (!options.keep)
            removeFolder(options.folder);
        return result;
    }
    if (options.guiThreadOnly)
        return benchmarkGuiThread(options);
    return options.moveOnly ? benchmarkMoveOnly(options) : benchmark(options);
}
