#include "kfaultshim.h"
#include "ktestenvironment.h"
#include "platform/kfileio.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

// The file-I/O layer: what it opens, how it writes and copies, the modes it sets, and the order
// in which it makes a replaced file durable.
class TestFileIO : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void opensOnlyRegularFilesWithoutBlocking_data();
    void opensOnlyRegularFilesWithoutBlocking();
    void writesEverythingOrSaysSo();
    void copiesWholeOrNotAtAll_data();
    void copiesWholeOrNotAtAll();
    void inKernelCopiesAreAskedForAgainOnlyWhereAFileWasRefused();
    void clonesOnACopyOnWriteFileSystem();
    void replacementIsPrivateAndFlushedBeforeItsRename();
    void walksWithoutFollowingLinksAndSaysWhatItCannotRead();

private:
    KTestEnvironment m_env;
    QString m_folder;
};

void TestFileIO::initTestCase()
{
    QVERIFY(KFaultShim::isLoaded());
    ::umask(022);
    m_folder = m_env.makeFolder(QStringLiteral("io"));
    QVERIFY(!m_env.writeFile(m_folder + QStringLiteral("document.txt"), "the document").isEmpty());
    QVERIFY(KTestEnvironment::makeFifo(m_folder + QStringLiteral("fifo")));
    QVERIFY(KTestEnvironment::makeSocket(m_folder + QStringLiteral("socket")));
    QVERIFY(QFile::link(m_folder + QStringLiteral("fifo"), m_folder + QStringLiteral("to-fifo")));
    QVERIFY(QFile::link(m_folder + QStringLiteral("document.txt"), m_folder + QStringLiteral("to-document")));
}

void TestFileIO::opensOnlyRegularFilesWithoutBlocking_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("links");
    QTest::addColumn<bool>("opened");
    const int follow = int(KFileIO::Links::Follow);
    QTest::newRow("a regular file") << "document.txt" << follow << true;
    QTest::newRow("a link to a regular file, followed") << "to-document" << follow << true;
    QTest::newRow("a link to a regular file, not followed")
        << "to-document" << int(KFileIO::Links::DontFollow) << false;
    QTest::newRow("a FIFO nobody writes to") << "fifo" << follow << false;
    QTest::newRow("a link to a FIFO") << "to-fifo" << follow << false;
    QTest::newRow("a socket") << "socket" << follow << false;
    QTest::newRow("a device") << "/dev/zero" << follow << false;
    QTest::newRow("a folder") << "." << follow << false;
}

void TestFileIO::opensOnlyRegularFilesWithoutBlocking()
{
    QFETCH(QString, name);
    QFETCH(int, links);
    QFETCH(bool, opened);
    const QString path = name.startsWith(QLatin1Char('/')) ? name : m_folder + name;
    QElapsedTimer clock;
    clock.start();
    const KFd fd = KFileIO::openRegular(path, KFileIO::Links(links));
    const auto file = KFileIO::openRegularFile(path, 1024, KFileIO::Links(links));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(fd.isValid(), opened);
    QCOMPARE(bool(file), opened);
    if (opened) {
        QCOMPARE(file->readAll(), QByteArray("the document"));
        // Reads block again as they should: the flag that kept the open from waiting is gone.
        QCOMPARE(::fcntl(fd.get(), F_GETFL) & O_NONBLOCK, 0);
        QVERIFY(!KFileIO::openRegularFile(path, 5));
        QCOMPARE(errno, EFBIG);
    }
}

void TestFileIO::writesEverythingOrSaysSo()
{
    const QString full = m_env.makeFolder(QStringLiteral("full"));
    KFd fd(::open(QFile::encodeName(full + QStringLiteral("out")).constData(), O_WRONLY | O_CREAT, 0600));
    QVERIFY(KFileIO::writeAll(fd.get(), "", 0));
    // The disk takes ten bytes of a hundred, then has no room: a short write, then a failure.
    KFaultShim::setFullFolder(full, 10);
    const bool written = KFileIO::writeAll(fd.get(), QByteArray(100, 'x').constData(), 100);
    const int error = errno;
    KFaultShim::setFullFolder(QString());
    QVERIFY(!written);
    QCOMPARE(error, ENOSPC);
    QCOMPARE(KTestEnvironment::contentOf(full + QStringLiteral("out")), QByteArray(10, 'x'));

    // So does a flush the disk refuses, of the file or of its folder.
    QVERIFY(KFileIO::syncFile(fd.get()) && KFileIO::syncFolder(full));
    KFaultShim::failFlushesBelow(m_env.path());
    const bool fileFlushed = KFileIO::syncFile(fd.get());
    const bool folderFlushed = KFileIO::syncFolder(full);
    KFaultShim::failFlushesBelow(QString());
    QVERIFY(!fileFlushed);
    QVERIFY(!folderFlushed);
}

void TestFileIO::copiesWholeOrNotAtAll_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("progressStops");
    QTest::addColumn<bool>("threadStops");
    QTest::addColumn<bool>("copied");
    QTest::newRow("all there is") << qint64(-1) << false << false << true;
    QTest::newRow("exactly the size it has") << qint64(12) << false << false << true;
    QTest::newRow("a source longer than its size") << qint64(11) << false << false << false;
    QTest::newRow("a source shorter than its size") << qint64(13) << false << false << false;
    QTest::newRow("progress that says stop") << qint64(-1) << true << false << false;
    QTest::newRow("a thread asked to stop, as at unloading") << qint64(-1) << false << true << false;
}

void TestFileIO::copiesWholeOrNotAtAll()
{
    QFETCH(qint64, size);
    QFETCH(bool, progressStops);
    QFETCH(bool, threadStops);
    QFETCH(bool, copied);
    const KFd from = KFileIO::openRegular(m_folder + QStringLiteral("document.txt"));
    const QString target
        = m_env.makeFolder(QStringLiteral("copies")) + QString::fromLatin1(QTest::currentDataTag());
    const KFd to = KFileIO::createNew(target, KFileIO::PrivateFileMode);
    QVERIFY(from.isValid() && to.isValid());
    KContentSum sum;
    bool result = !copied;
    QScopedPointer<QThread> thread(QThread::create([&] {
        if (threadStops)
            QThread::currentThread()->requestInterruption();
        result = KFileIO::copy(from.get(), to.get(), size, &sum, [&] { return !progressStops; });
    }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QCOMPARE(result, copied);
    if (copied) {
        QCOMPARE(KTestEnvironment::contentOf(target), QByteArray("the document"));
        // Summing alone gives the sum the copy took.
        KContentSum read;
        QVERIFY(::lseek(from.get(), 0, SEEK_SET) == 0 && KFileIO::copy(from.get(), -1, -1, &read));
        QVERIFY(sum.hasHash && sum.size == 12 && read.hash == sum.hash);
    }
}

namespace {

QByteArray patterned(int size)
{
    QByteArray content(size, 'c');
    for (int i = 0; i < size; i += 4093)
        content[i] = char(i / 4093);
    return content;
}

// Copies `source` to the new file `target` as a version is made; gives the in-kernel copies
// asked for, as "clone" or "copy_file_range". The copy must be whole and summed.
QStringList copyAsAVersion(const QString& source, const QString& target)
{
    KFileStatus status;
    const KFd from = KFileIO::openRegular(source, KFileIO::Links::Follow, &status);
    KContentSum sum;
    KFaultShim::startLog();
    const KFileIO::CopyResult result = from.isValid()
        ? KFileIO::copyToNew(from.get(), status, target, KFileIO::PrivateFileMode, status.modifiedNs, &sum)
        : KFileIO::CopyResult::Failed;
    QStringList asked;
    for (const QString& call : KFaultShim::takeLog()) {
        if (call.endsWith(QLatin1Char(' ') + target))
            asked << call.section(QLatin1Char(' '), 0, 0);
    }
    const QByteArray content = KTestEnvironment::contentOf(source);
    if (result != KFileIO::CopyResult::Copied || KTestEnvironment::contentOf(target) != content
        || !sum.hasHash || sum.hash != XXH3_64bits(content.constData(), size_t(content.size()))) {
        asked << QStringLiteral("not copied whole and summed");
    }
    return asked;
}

// Whether the file's data lies in extents all shared with another file.
bool sharesItsExtents(const QString& path)
{
    const KFd fd = KFileIO::openRegular(path);
    constexpr unsigned Extents = 64;
    std::vector<quint64> request((sizeof(fiemap) + Extents * sizeof(fiemap_extent)) / sizeof(quint64) + 1);
    auto* map = reinterpret_cast<fiemap*>(request.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = Extents;
    if (!fd.isValid() || ::ioctl(fd.get(), FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == 0)
        return false;
    for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
        if (!(map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED))
            return false;
    }
    return true;
}

// A folder on btrfs: the one VAULTKEEP_BTRFS_FOLDER names (CI mounts one), else an image mounted
// at `scratch`, which only root may; empty, saying why in `whyNot`, when there is none.
QString btrfsFolder(const QString& scratch, QString* whyNot)
{
    const QString given = qEnvironmentVariable("VAULTKEEP_BTRFS_FOLDER");
    if (!given.isEmpty())
        return QDir(given).absolutePath() + QLatin1Char('/');
    const QString mkfs = QStandardPaths::findExecutable(
        QStringLiteral("mkfs.btrfs"), { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin") });
    const QString image = scratch + QStringLiteral("../btrfs.img");
    QFile file(image);
    if (::geteuid() != 0) {
        *whyNot = QStringLiteral(
            "only root may mount a btrfs image; set VAULTKEEP_BTRFS_FOLDER to a folder on btrfs");
    } else if (mkfs.isEmpty()) {
        *whyNot = QStringLiteral("mkfs.btrfs is not installed (btrfs-progs)");
    } else if (!file.open(QIODevice::WriteOnly) || !file.resize(256 * qint64(MiB))
        || QProcess::execute(mkfs, { QStringLiteral("-q"), image }) != 0
        || QProcess::execute(
               QStringLiteral("mount"), { QStringLiteral("-o"), QStringLiteral("loop"), image, scratch })
            != 0) {
        *whyNot = QStringLiteral("a btrfs image could not be made and mounted");
    }
    return whyNot->isEmpty() ? scratch : QString();
}

} // namespace

void TestFileIO::inKernelCopiesAreAskedForAgainOnlyWhereAFileWasRefused()
{
    const QString folder = m_env.makeFolder(QStringLiteral("ways"));
    const QString source = m_env.writeFile(QStringLiteral("ways/source"), patterned(300000));
    const QStringList bothAsked = { QStringLiteral("clone"), QStringLiteral("copy_file_range") };
    const auto restored = qScopeGuard([] { KFaultShim::refuseInKernelCopies(0); });
    // A file the file system will not share goes through the buffer; the next one is tried again.
    KFaultShim::refuseInKernelCopies(EINVAL);
    QCOMPARE(copyAsAVersion(source, folder + QStringLiteral("a")), bothAsked);
    QCOMPARE(copyAsAVersion(source, folder + QStringLiteral("b")), bothAsked);
    // A file system without either way is asked once.
    KFaultShim::refuseInKernelCopies(EOPNOTSUPP);
    QCOMPARE(copyAsAVersion(source, folder + QStringLiteral("c")), bothAsked);
    QCOMPARE(copyAsAVersion(source, folder + QStringLiteral("d")), QStringList());
}

void TestFileIO::clonesOnACopyOnWriteFileSystem()
{
    const QString scratch = m_env.makeFolder(QStringLiteral("cow/btrfs"));
    QString whyNot;
    const QString btrfs = btrfsFolder(scratch, &whyNot);
    if (btrfs.isEmpty())
        QSKIP(qPrintable(whyNot));
    const QString folder = btrfs + QStringLiteral("vaultkeep-%1/").arg(QCoreApplication::applicationPid());
    const auto removed = qScopeGuard([&] {
        QDir(folder).removeRecursively();
        if (btrfs == scratch)
            QProcess::execute(QStringLiteral("umount"), { scratch });
    });
    QVERIFY(KFileIO::makeFolder(folder));
    const QString source
        = KTestEnvironment::writeFileAt(folder + QStringLiteral("source"), patterned(3 * MiB + 17), {});

    // From another file system nothing can be shared; that pair's refusal leaves this one's alone.
    const QString elsewhere = m_env.writeFile(QStringLiteral("cow/elsewhere"), patterned(100000));
    QVERIFY(!copyAsAVersion(elsewhere, folder + QStringLiteral("from-elsewhere"))
                 .contains(QStringLiteral("not copied whole and summed")));
    const QString copy = folder + QStringLiteral("copy");
    QCOMPARE(copyAsAVersion(source, copy), QStringList { QStringLiteral("clone") });
    QVERIFY(sharesItsExtents(copy));
    // A restore within the file system clones as well, and still replaces the file whole.
    const QString restored
        = KTestEnvironment::writeFileAt(folder + QStringLiteral("restored"), "what was there", {});
    QCOMPARE(KFileIO::replaceFile(copy, restored, -1), KReplaceResult::Replaced);
    QCOMPARE(KTestEnvironment::contentOf(restored), KTestEnvironment::contentOf(source));
    QVERIFY(sharesItsExtents(restored));

    // A source rewritten between its clone and the read that sums it is not a version, nor is a
    // copy so rewritten restored.
    KFaultShim::changeOnFirstRead(source, KFaultShim::Change::Rewritten);
    KFileStatus status;
    const KFd from = KFileIO::openRegular(source, KFileIO::Links::Follow, &status);
    QCOMPARE(KFileIO::copyToNew(from.get(), status, folder + QStringLiteral("changed"),
                 KFileIO::PrivateFileMode, status.modifiedNs),
        KFileIO::CopyResult::SourceChanged);
    QVERIFY(!QFile::exists(folder + QStringLiteral("changed")));
    KFaultShim::changeOnFirstRead(copy, KFaultShim::Change::Rewritten);
    QCOMPARE(KFileIO::replaceFile(copy, restored, -1), KReplaceResult::Failed);
    QCOMPARE(KTestEnvironment::contentOf(restored), patterned(3 * MiB + 17));
}

void TestFileIO::replacementIsPrivateAndFlushedBeforeItsRename()
{
    const QString path = m_env.writeFile(QStringLiteral("replace/settings"), "old");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    KFaultShim::startLog();
    QVERIFY(KFileIO::replaceContents(path, "new", KFileIO::PrivateFileMode));
    const QStringList calls = KFaultShim::takeLog();
    QCOMPARE(KTestEnvironment::contentOf(path), QByteArray("new"));
    QCOMPARE(KTestEnvironment::modeOf(path), 0600u);
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY2(KFaultShim::flushedBeforeRename(calls, path), qPrintable(calls.join(QLatin1Char('\n'))));
    QCOMPARE(
        calls.value(calls.indexOf(QStringLiteral("rename ") + path) + 1), QStringLiteral("fsync ") + folder);

    // A write the disk refuses keeps the old file and leaves nothing beside it.
    KFaultShim::setFullFolder(folder, 1);
    QVERIFY(!KFileIO::replaceContents(path, "newer", KFileIO::PrivateFileMode));
    KFaultShim::setFullFolder(QString());
    QCOMPARE(KTestEnvironment::contentOf(path), QByteArray("new"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("settings") });
}

void TestFileIO::walksWithoutFollowingLinksAndSaysWhatItCannotRead()
{
    const QString root = m_env.makeFolder(QStringLiteral("walk/tree"));
    QVERIFY(!m_env.writeFile(QStringLiteral("walk/outside/secret"), "not below").isEmpty());
    QVERIFY(!m_env.writeFile(QStringLiteral("walk/tree/a.txt"), "12345").isEmpty());
    QVERIFY(!m_env.writeFile(QStringLiteral("walk/tree/B/b.txt"), "123").isEmpty());
    QVERIFY(!m_env.writeFile(QStringLiteral("walk/tree/c/kept"), "1").isEmpty());
    QVERIFY(QFile::link(root + QStringLiteral("../outside"), root + QStringLiteral("link-out")));
    QVERIFY(::chmod(QFile::encodeName(root + QStringLiteral("c")).constData(), 0) == 0);

    QStringList met;
    KFileIO::WalkVisitor visitor;
    visitor.byName = true;
    visitor.visit = [&met](const KFileIO::WalkEntry& entry) {
        met << entry.relative();
        return KFileIO::WalkStep::Enter;
    };
    visitor.leave = [&met](const KFileIO::WalkEntry& entry) {
        met << QStringLiteral("left ") + entry.relative();
        return true;
    };
    visitor.failed = [&met](const QString&, const QString& relative, int error) {
        met << QStringLiteral("cannot read %1 (%2)").arg(relative).arg(error == EACCES);
        return true;
    };
    QVERIFY(KFileIO::walk(root, visitor));
    QCOMPARE(met.join(QLatin1Char('|')),
        QStringLiteral("a.txt|B|B/b.txt|left B|c|cannot read c (1)|left c|link-out"));
    QCOMPARE(KFileIO::folderSize(root, false), 8);

    // Ending the walk from a visit; a link as the root is not followed unless asked.
    met.clear();
    visitor.visit = [&met](const KFileIO::WalkEntry& entry) {
        met << entry.relative();
        return entry.status.isDir ? KFileIO::WalkStep::Stop : KFileIO::WalkStep::Enter;
    };
    QVERIFY(!KFileIO::walk(root, visitor));
    QCOMPARE(met.join(QLatin1Char('|')), QStringLiteral("a.txt|B"));
    QVERIFY(KFileIO::walk(root + QStringLiteral("link-out"), visitor));
    QCOMPARE(met.last(), QStringLiteral("cannot read  (0)"));
    QVERIFY(KFileIO::walk(root + QStringLiteral("link-out"), visitor, KFileIO::Links::Follow));
    QCOMPARE(met.last(), QStringLiteral("secret"));

    // Removing the tree takes the link, never what it names, and says what stayed.
    QStringList refused;
    QVERIFY(!KFileIO::removeContents(root, &refused));
    QVERIFY(refused.contains(root + QStringLiteral("c")));
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
        QStringList { QStringLiteral("c") });
    QCOMPARE(
        KTestEnvironment::contentOf(root + QStringLiteral("../outside/secret")), QByteArray("not below"));
    QVERIFY(::chmod(QFile::encodeName(root + QStringLiteral("c")).constData(), 0700) == 0);
}

VK_SHIM_TEST_MAIN(TestFileIO)

#include "tst_fileio.moc"
