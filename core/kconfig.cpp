#include "core/kconfig.h"

#include "core/kcommon.h"
#include "core/klogging.h"
#include "platform/kfileio.h"
#include "platform/kiniformat.h"
#include "platform/kinistore.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace {

const QString BackUpPathKey = QStringLiteral("backUpPath");
const QString TipSizeKey = QStringLiteral("TipSize");
const QString TipSizeEnabledKey = QStringLiteral("TipSizeEnabled");
const QString DiskFreeTipDateKey = QStringLiteral("currentDiskFreeSizeNotEnoughLastTipDateTime");
const QString FolderTooLargeTipDateKey = QStringLiteral("backedFolderTooLargeTipDateTime");
const QString TipWhenDiskSmallKey = QStringLiteral("isTipWhenDiskSizeIsSmall");
const QString ShowTipBackedMsgStatusKey = QStringLiteral("ShowTipBackedMsgStatus");
const QString AutoBackKey = QStringLiteral("AutoBack");
const QString AutoClean7DaysKey = QStringLiteral("AutoClean7Days");
const QString TipsAsNotificationsKey = QStringLiteral("TipsAsDesktopNotifications");
const QString MainWindowSizeKey = QStringLiteral("MainWindowSize"); // "<width>x<height>"
const QString ReadRecentlyUsedXbelKey = QStringLiteral("ReadRecentlyUsedXbel");
const QString ReadLibreOfficeHistoryKey = QStringLiteral("ReadLibreOfficeHistory");
const QString ReadKdeRecentDocumentsKey = QStringLiteral("ReadKdeRecentDocuments");
const QString RecentExcludedFoldersKey = QStringLiteral("RecentExcludedFolders");
const QString MaxVersionedFileSizeKey = QStringLiteral("MaxVersionedFileSize");
const QString OffsiteEnabledKey = QStringLiteral("OffsiteEnabled");
const QString OffsiteRepositoryKey = QStringLiteral("OffsiteRepository");
const QString OffsiteKeepDaysKey = QStringLiteral("OffsiteKeepDays");
const QString OffsiteIntervalKey = QStringLiteral("OffsiteIntervalMinutes");
const QString FreeSpaceSamplesKey = QStringLiteral("FreeSpaceSamples");
const QString NeverShown = QStringLiteral("1970-01-01");
constexpr qint64 MaxFileSize = 1024 * 1024;

const QString CounterKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium\\Apps\\Vaultkeep");
const QString CounterValue = QStringLiteral("Value");

std::mutex g_pathMutex;

QString switchText(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

KConfig::KConfig(const QString& filePath, QObject* parent)
    : QObject(parent)
    , m_filePath(filePath)
{ }

KConfig* KConfig::instance()
{
    static KConfig store;
    return &store;
}

QString KConfig::filePath() const
{
    const std::lock_guard<std::mutex> locker(g_pathMutex);
    if (m_filePath.isEmpty())
        m_filePath = KCommon::hostDataFolder() + QStringLiteral("vaultkeep.ini");
    return m_filePath;
}

QVariant KConfig::read(const QString& key, const QVariant& defaultValue) const
{
    return KIniStore(filePath(), KIniFormat::Dialect::Settings).value(key, defaultValue);
}

bool KConfig::write(const QString& key, const QVariant& value)
{
    KIniStore settings(filePath(), KIniFormat::Dialect::Settings);
    settings.setValue(key, value);
    if (settings.sync())
        return true;
    qCWarning(vkEngine) << "cannot write" << key << "to" << settings.filePath()
                        << "; it stays pending in this process";
    return false;
}

bool KConfig::readSwitch(const QString& key) const
{
    return read(key, QStringLiteral("true")).toString() != QLatin1String("false");
}

QString KConfig::backUpPath()
{
    const QString stored = read(BackUpPathKey, QString()).toString();
    if (!stored.isEmpty() && QDir(stored).exists())
        return stored;
    const QString chosen = chooseBackupDrive();
    // Not written, the choice stays pending and is answered all the same.
    static_cast<void>(setBackUpPath(chosen));
    return chosen;
}

QString KConfig::chooseBackupDrive() const
{
    const QList<KDriveRecord> list = KCommon::drives();
    if (list.isEmpty()) {
        // No usable drive at all: keep the backups in the host's own data folder rather than
        // nowhere, so that protection still works.
        return KCommon::hostDataFolder();
    }
    const QString systemRoot = KCommon::systemDriveRoot();
    QString chosen;
    quint32 mostFree = 0;
    for (const KDriveRecord& drive : list) {
        if (drive.freeMiB > mostFree && drive.root != systemRoot) {
            mostFree = drive.freeMiB;
            chosen = drive.root;
        }
    }
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir())
        chosen = list.first().root;
    return chosen;
}

bool KConfig::isBackUpPathOnDisk(const QString& path) const
{
    if (read(BackUpPathKey, QString()).toString() != path)
        return false;
    const std::unique_ptr<QFile> file = KFileIO::openRegularFile(filePath(), MaxFileSize);
    return file
        && KIniFormat::parse(file->readAll(), KIniFormat::Dialect::Settings).value(BackUpPathKey).toString()
        == path;
}

bool KConfig::setBackUpPath(const QString& path)
{
    return write(BackUpPathKey, path);
}

qint64 KConfig::tipSize() const
{
    return read(TipSizeKey, DefaultTipSize).toLongLong();
}

bool KConfig::setTipSize(qint64 bytes)
{
    return write(TipSizeKey, bytes);
}

qint64 KConfig::maxVersionedFileSize() const
{
    bool isNumber = false;
    const qint64 bytes = read(MaxVersionedFileSizeKey, DefaultMaxVersionedFileSize).toLongLong(&isNumber);
    // Anything but a positive number of bytes would stop every backup: the default holds then.
    return isNumber && bytes > 0 ? bytes : DefaultMaxVersionedFileSize;
}

bool KConfig::setMaxVersionedFileSize(qint64 bytes)
{
    return write(MaxVersionedFileSizeKey, bytes);
}

bool KConfig::tipSizeEnabled() const
{
    return read(TipSizeEnabledKey, true).toBool();
}

bool KConfig::setTipSizeEnabled(bool enabled)
{
    return write(TipSizeEnabledKey, enabled);
}

QString KConfig::diskFreeTipDate() const
{
    return read(DiskFreeTipDateKey, NeverShown).toString();
}

bool KConfig::setDiskFreeTipDate(const QString& date)
{
    return write(DiskFreeTipDateKey, date);
}

QString KConfig::folderTooLargeTipDate() const
{
    return read(FolderTooLargeTipDateKey, NeverShown).toString();
}

bool KConfig::setFolderTooLargeTipDateToday()
{
    return write(FolderTooLargeTipDateKey,
        KPlatform::instance()->currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

bool KConfig::isTipWhenDiskSizeIsSmall() const
{
    return readSwitch(TipWhenDiskSmallKey);
}

bool KConfig::setTipWhenDiskSizeIsSmall(bool enabled)
{
    return write(TipWhenDiskSmallKey, switchText(enabled));
}

int KConfig::showTipBackedMsgStatus() const
{
    return read(ShowTipBackedMsgStatusKey, -1).toInt();
}

bool KConfig::setShowTipBackedMsgStatus(int status)
{
    return write(ShowTipBackedMsgStatusKey, status);
}

bool KConfig::autoBack() const
{
    return readSwitch(AutoBackKey);
}

bool KConfig::setAutoBack(bool enabled)
{
    return write(AutoBackKey, switchText(enabled));
}

QSize KConfig::mainWindowSize() const
{
    const QStringList parts = read(MainWindowSizeKey, QString()).toString().split(QLatin1Char('x'));
    bool widthOk = false;
    bool heightOk = false;
    const QSize size(parts.value(0).toInt(&widthOk), parts.value(1).toInt(&heightOk));
    return parts.size() == 2 && widthOk && heightOk && !size.isEmpty() ? size : QSize();
}

bool KConfig::setMainWindowSize(const QSize& size)
{
    return write(MainWindowSizeKey, QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
}

bool KConfig::autoClean7Days() const
{
    return readSwitch(AutoClean7DaysKey);
}

bool KConfig::setAutoClean7Days(bool enabled)
{
    return write(AutoClean7DaysKey, switchText(enabled));
}

bool KConfig::tipsAsNotifications() const
{
    return readSwitch(TipsAsNotificationsKey);
}

bool KConfig::setTipsAsNotifications(bool enabled)
{
    return write(TipsAsNotificationsKey, switchText(enabled));
}

bool KConfig::offsiteEnabled() const
{
    return read(OffsiteEnabledKey, switchText(false)).toString() == QLatin1String("true");
}

QString KConfig::offsiteRepository() const
{
    return read(OffsiteRepositoryKey, QString()).toString();
}

int KConfig::offsiteKeepDays() const
{
    return read(OffsiteKeepDaysKey, 0).toInt();
}

int KConfig::offsiteIntervalMinutes() const
{
    return read(OffsiteIntervalKey, 0).toInt();
}

bool KConfig::setOffsite(bool enabled, const QString& repository, int keepDays, int intervalMinutes)
{
    // A write that succeeds puts every pending change in the file: the last one tells for all.
    static_cast<void>(write(OffsiteRepositoryKey, repository));
    static_cast<void>(write(OffsiteKeepDaysKey, keepDays));
    static_cast<void>(write(OffsiteIntervalKey, intervalMinutes));
    return write(OffsiteEnabledKey, switchText(enabled));
}

bool KConfig::readRecentlyUsedXbel() const
{
    return readSwitch(ReadRecentlyUsedXbelKey);
}

bool KConfig::setReadRecentlyUsedXbel(bool enabled)
{
    return write(ReadRecentlyUsedXbelKey, switchText(enabled));
}

bool KConfig::readLibreOfficeHistory() const
{
    return readSwitch(ReadLibreOfficeHistoryKey);
}

bool KConfig::setReadLibreOfficeHistory(bool enabled)
{
    return write(ReadLibreOfficeHistoryKey, switchText(enabled));
}

bool KConfig::readKdeRecentDocuments() const
{
    return readSwitch(ReadKdeRecentDocumentsKey);
}

bool KConfig::setReadKdeRecentDocuments(bool enabled)
{
    return write(ReadKdeRecentDocumentsKey, switchText(enabled));
}

QStringList KConfig::recentExcludedFolders() const
{
    {
        const KIniStore settings(filePath(), KIniFormat::Dialect::Settings);
        // An empty list is stored as an invalid value: present, but no list.
        if (settings.contains(RecentExcludedFoldersKey))
            return settings.value(RecentExcludedFoldersKey).toStringList();
    }
    const KPlatform* platform = KPlatform::instance();
    return { platform->tempFolder(), platform->cacheFolder() };
}

bool KConfig::setRecentExcludedFolders(const QStringList& patterns)
{
    return write(RecentExcludedFoldersKey, patterns);
}

QStringList KConfig::freeSpaceSamples() const
{
    return read(FreeSpaceSamplesKey, QStringList()).toStringList();
}

bool KConfig::setFreeSpaceSamples(const QStringList& samples)
{
    return write(FreeSpaceSamplesKey, samples);
}

int KConfig::totalBackupCount() const
{
    return KRegistryKey(CounterKey).value(CounterValue).toInt();
}

bool KConfig::setTotalBackupCount(int count)
{
    KRegistryKey key(CounterKey);
    key.setValue(CounterValue, count);
    return key.sync();
}

bool KConfig::addToTotalBackupCount(int backups)
{
    static std::mutex counterMutex;
    const std::lock_guard<std::mutex> locker(counterMutex);
    return setTotalBackupCount(totalBackupCount() + backups);
}

bool KConfig::retryPendingWrites()
{
    const bool written = KIniStore(filePath(), KIniFormat::Dialect::Settings).sync();
    return KRegistryKey(CounterKey).sync() && written;
}
