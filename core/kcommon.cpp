#include "core/kcommon.h"

#include "core/kconfig.h"
#include "core/klogging.h"
#include "core/kuilanguage.h"
#include "platform/kfileio.h"
#include "platform/kinstalllayout.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace KCommon {

QString joinPath(const QString& dir, const QString& name, QChar separator)
{
    // Never trimmed: blanks at either end belong to a file name on Linux.
    const QString doubled = QString(separator) + separator;
    QString path = dir + separator + name;
    path.replace(doubled, QString(separator));
    path.replace(QLatin1String("//"), QString(separator));
    return path;
}

QString joinPath(const QString& dir, const QString& name)
{
    return joinPath(dir, name, KPaths::nativeSeparator());
}

QString backupFolderName()
{
    return QStringLiteral("TarselVaultkeep备份目录");
}

QString backupDirectory()
{
    return joinPath(KConfig::instance()->backUpPath(), backupFolderName() + KPaths::nativeSeparator());
}

QString hostDataFolder()
{
    const QString folder = joinPath(
        KPlatform::instance()->appDataFolder(), QStringLiteral("Atrium") + KPaths::nativeSeparator());
    if (!KFileIO::makeFolder(folder))
        qCWarning(vkEngine) << "the host's data folder cannot be made:" << folder;
    return folder;
}

QString systemDriveRoot()
{
    return KPlatform::instance()->systemDriveRoot();
}

QString formatSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1B").arg(bytes);
    const double kb = double(bytes / 1024);
    if (kb < 1024)
        return QStringLiteral("%1KB").arg(QString::number(kb, 'f', 2).remove(QLatin1String(".00")));
    const double mb = kb / 1024;
    if (mb < 1024)
        return QStringLiteral("%1MB").arg(QString::number(mb, 'f', 2).remove(QLatin1String(".00")));
    const double gb = mb / 1024;
    return QStringLiteral("%1GB").arg(gb, 0, 'g', -1);
}

QString displaySize(qint64 bytes)
{
    if (KUiLanguage::current() == KUiLanguage::Language::Chinese)
        return formatSize(bytes);
    return KUiLanguage::locale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

qint64 folderSize(const QString& path, bool onlyReadOnly)
{
    return KFileIO::folderSize(path, onlyReadOnly, keepResponsive);
}

bool clearFolder(const QString& path)
{
    if (path.isEmpty() || KFileIO::status(path).kind() != KFileStatus::Folder)
        return false;
    // Removing a file needs no permission on the file itself, so nothing is made writable (which
    // would follow a link to whatever it names).
    QStringList refused;
    if (KFileIO::removeContents(path, &refused))
        return true;
    for (const QString& entry : qAsConst(refused))
        qCWarning(vkCleanUp) << "cannot remove" << entry;
    return false;
}

QString productName()
{
    return QStringLiteral("TarselVaultkeep");
}

QString pictureInUiLanguage(const QString& path)
{
    if (KUiLanguage::current() == KUiLanguage::Language::English) {
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        const QString english = path.left(slash + 1) + QStringLiteral("en/") + path.mid(slash + 1);
        if (QFile::exists(english))
            return english;
    }
    return path;
}

QString skinImagePath(const QString& name)
{
    // Beside the host in a build tree, in the data folder once installed; the answer stays.
    static const QString folder = KInstallLayout::dataFolder(QCoreApplication::applicationFilePath());
    return pictureInUiLanguage(QStringLiteral("%1/VaultkeepSkin/%2").arg(folder, name));
}

QString skinBackgroundPath()
{
    const KRegistryKey skin(QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium\\Skin"));
    const QString folder = skin.value(QStringLiteral("Path")).toString();
    const QString name = skin.value(QStringLiteral("Name")).toString();
    QString path;
    if (!folder.isEmpty() && !name.isEmpty()) {
        path = QStringLiteral("%1/%2").arg(folder, name);
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        path.replace(QLatin1String("//"), QLatin1String("/"));
    }
    if (path.isEmpty() || !QFile::exists(path))
        return QStringLiteral(":/Icons/Icons/皮肤背景.jpg");
    return path;
}

void keepResponsive()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    static QElapsedTimer sinceLast; // only ever touched on the GUI thread
    if (sinceLast.isValid() && sinceLast.elapsed() < 15)
        return;
    QCoreApplication::processEvents();
    sinceLast.start();
}

} // namespace KCommon
