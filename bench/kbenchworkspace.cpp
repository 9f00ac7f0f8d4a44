#include "kbenchworkspace.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileservicemanager.h"
#include "core/ktimestamp.h"
#include "discovery/kproductcatalog.h"
#include "discovery/kproductinfo.h"
#include "platform/kfileops.h"
#include "platform/klinuxplatform.h"
#include "platform/kregistry.h"

#include <QDir>
#include <QFile>
#include <QUuid>

KBenchWorkspace::KBenchWorkspace(const QString& folder, int files, int fileSize)
    : m_folder(QDir(folder).absolutePath())
    , m_files(files)
    , m_fileSize(fileSize)
{ }

KBenchWorkspace::~KBenchWorkspace()
{
    KPlatform::setInstance(nullptr);
}

bool KBenchWorkspace::create(QString* error, bool populate)
{
    if (!QDir().mkpath(sourceFolder()) || !QDir().mkpath(driveRoot())) {
        *error = QStringLiteral("cannot create folders in ") + m_folder;
        return false;
    }
    m_platform.reset(new KFakePlatform(m_folder + QStringLiteral("/machine")));
    quint64 freeBytes = 0;
    quint64 totalBytes = 0;
    KLinuxPlatform().diskSpace(driveRoot(), &freeBytes, &totalBytes);
    m_platform->addDrive(driveRoot(), KDriveKind::Fixed, KFileSystemKind::Ntfs, freeBytes, totalBytes);
    KPlatform::setInstance(m_platform.data());
    if (!populate)
        return true;
    KConfig::instance()->setBackUpPath(driveRoot());

    // Sources, a hundred to a folder; contents differ so that no file system can share them.
    QByteArray content(m_fileSize, 'v');
    for (int i = 0; i < m_files; ++i) {
        const QString dir = sourceFolder() + QStringLiteral("/d%1").arg(i / 100, 3, 10, QLatin1Char('0'));
        if (i % 100 == 0)
            QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/工程%1.pra4").arg(i, 5, 10, QLatin1Char('0'));
        const QByteArray stamp = QByteArray::number(i);
        content.replace(0, stamp.size(), stamp);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            *error = QStringLiteral("cannot write ") + path;
            return false;
        }
        m_sources << path;
    }

    KProductCatalog catalog;
    catalog.load(KProductCatalog::builtInPath());
    QString key;
    for (const KProductInfo* product : catalog.products()) {
        if (product->code().contains(QLatin1String("PRA4")) && !product->recentFile().isEmpty()) {
            key = product->recentFile();
            break;
        }
    }
    if (key.isEmpty()) {
        *error = QStringLiteral("the catalog names no pricing product");
        return false;
    }
    KRegistryKey list(key);
    for (int i = 0; i < m_sources.size(); ++i)
        list.setValue(QStringLiteral("File%1").arg(i), m_sources.at(i));
    list.sync();
    return true;
}

bool KBenchWorkspace::addOlderVersions(KFileServiceManager* manager, const QStringList& sources, int count)
{
    const QString folder = KCommon::backupDirectory();
    const QString today = KTimeStamp::formatDate(QDate::currentDate());
    for (const QString& source : sources) {
        const KFileObjectPtr record = manager->findFile(source);
        if (!record)
            return false;
        const QDateTime modified = QDateTime::fromMSecsSinceEpoch(KFileOps::status(source).modifiedMSecs);
        for (int k = 1; k <= count; ++k) {
            const QString fileId = QUuid::createUuid().toString() + QLatin1Char('_')
                + KTimeStamp::format(modified.addSecs(-3600 * k)) + QLatin1Char('_') + today;
            if (!KFileOps::copyFile(source, folder + fileId))
                return false;
            record->addVersion(fileId);
        }
    }
    return true;
}
