#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobjectmgr.h"
#include "core/kprotectiondatabase.h"
#include "kfakeplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// The protection database as the file may hold it: loading never crashes, hangs or leaks, and
// what a loaded database writes loads again into the same records. The seed corpus names the
// backup copies this machine holds, so that records survive the check for their copies.

namespace {

struct Machine
{
    Machine()
        : platform(folder.path() + QStringLiteral("/machine"))
    {
        KPlatform::setInstance(&platform);
        const QString drive = folder.path() + QStringLiteral("/drive/");
        QDir().mkpath(drive);
        platform.addDrive(
            drive, KDriveKind::Fixed, KFileSystemKind::Ntfs, quint64(1) << 40, quint64(1) << 41);
        KConfig::instance()->setBackUpPath(drive);
        const QString copies = KCommon::backupDirectory();
        QDir().mkpath(copies);
        for (int i = 1; i <= 3; ++i) {
            QFile copy(copies
                + QStringLiteral("{00000000-0000-0000-0000-00000000000%1}_20240105093012_20240105").arg(i));
            if (!copy.open(QIODevice::WriteOnly))
                std::abort();
        }
        database = folder.path() + QStringLiteral("/db/VaultkeepDB.xml");
        QDir().mkpath(folder.path() + QStringLiteral("/db"));
    }

    QTemporaryDir folder;
    KFakePlatform platform;
    QString database;
};

// Loads the file into new collections and returns what they would save; empty unless loaded.
QByteArray loaded(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        std::abort();
    file.close();
    KFileObjectMgr collections[5];
    const KProtectionDatabase::Collections all
        = { &collections[0], &collections[1], &collections[2], &collections[3], &collections[4] };
    const bool read = KProtectionDatabase(path).load(all) == KProtectionDatabase::LoadResult::Loaded;
    // A file that could not be used was set aside: it goes, so that the folder stays small.
    QDir folder = QFileInfo(path).absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        folder.remove(name);
    return read ? KProtectionDatabase::content(all) : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_protectiondatabase";
    static char* argv[] = { name, nullptr };
    static QCoreApplication application(argc, argv);
    static Machine machine;
    const QByteArray saved
        = loaded(machine.database, QByteArray(reinterpret_cast<const char*>(data), int(size)));
    if (!saved.isEmpty() && loaded(machine.database, saved) != saved) {
        std::fprintf(stderr, "fuzz_protectiondatabase: a saved database loads into other records\n");
        std::abort();
    }
    return 0;
}
