#include "core/kconfig.h"

#include "core/kcommon.h"
#include "platform/kiniformat.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"
#include "platform/ksettingslock.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

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
const QString MainWindowSizeKey = QStringLiteral("MainWindowSize"); // "<width>x<height>"
const QString ReadRecentlyUsedXbelKey = QStringLiteral("ReadRecentlyUsedXbel");
const QString ReadLibreOfficeHistoryKey = QStringLiteral("ReadLibreOfficeHistory");
const QString ReadKdeRecentDocumentsKey = QStringLiteral("ReadKdeRecentDocuments");
const QString RecentExcludedFoldersKey = QStringLiteral("RecentExcludedFolders");
const QString NeverShown = QStringLiteral("1970-01-01");

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
    const QString path = filePath();
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    const QSettings settings(path, KIniFormat::format(KIniFormat::Dialect::Settings));
    return settings.value(key, defaultValue);
}

bool KConfig::write(const QString& key, const QVariant& value)
{
    const QString path = filePath();
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    QSettings settings(path, KIniFormat::format(KIniFormat::Dialect::Settings));
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
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
    setBackUpPath(chosen);
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

void KConfig::setBackUpPath(const QString& path)
{
    write(BackUpPathKey, path);
}

qint64 KConfig::tipSize() const
{
    return read(TipSizeKey, DefaultTipSize).toLongLong();
}

void KConfig::setTipSize(qint64 bytes)
{
    write(TipSizeKey, bytes);
}

bool KConfig::tipSizeEnabled() const
{
    return read(TipSizeEnabledKey, true).toBool();
}

void KConfig::setTipSizeEnabled(bool enabled)
{
    write(TipSizeEnabledKey, enabled);
}

QString KConfig::diskFreeTipDate() const
{
    return read(DiskFreeTipDateKey, NeverShown).toString();
}

void KConfig::setDiskFreeTipDate(const QString& date)
{
    write(DiskFreeTipDateKey, date);
}

QString KConfig::folderTooLargeTipDate() const
{
    return read(FolderTooLargeTipDateKey, NeverShown).toString();
}

void KConfig::setFolderTooLargeTipDateToday()
{
    write(FolderTooLargeTipDateKey,
        KPlatform::instance()->currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

bool KConfig::isTipWhenDiskSizeIsSmall() const
{
    return readSwitch(TipWhenDiskSmallKey);
}

void KConfig::setTipWhenDiskSizeIsSmall(bool enabled)
{
    write(TipWhenDiskSmallKey, switchText(enabled));
}

int KConfig::showTipBackedMsgStatus() const
{
    return read(ShowTipBackedMsgStatusKey, -1).toInt();
}

void KConfig::setShowTipBackedMsgStatus(int status)
{
    write(ShowTipBackedMsgStatusKey, status);
}

bool KConfig::autoBack() const
{
    return readSwitch(AutoBackKey);
}

void KConfig::setAutoBack(bool enabled)
{
    write(AutoBackKey, switchText(enabled));
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

void KConfig::setAutoClean7Days(bool enabled)
{
    write(AutoClean7DaysKey, switchText(enabled));
}

bool KConfig::readRecentlyUsedXbel() const
{
    return readSwitch(ReadRecentlyUsedXbelKey);
}

void KConfig::setReadRecentlyUsedXbel(bool enabled)
{
    write(ReadRecentlyUsedXbelKey, switchText(enabled));
}

bool KConfig::readLibreOfficeHistory() const
{
    return readSwitch(ReadLibreOfficeHistoryKey);
}

void KConfig::setReadLibreOfficeHistory(bool enabled)
{
    write(ReadLibreOfficeHistoryKey, switchText(enabled));
}

bool KConfig::readKdeRecentDocuments() const
{
    return readSwitch(ReadKdeRecentDocumentsKey);
}

void KConfig::setReadKdeRecentDocuments(bool enabled)
{
    write(ReadKdeRecentDocumentsKey, switchText(enabled));
}

QStringList KConfig::recentExcludedFolders() const
{
    const QString path = filePath();
    {
        const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
        const QSettings settings(path, KIniFormat::format(KIniFormat::Dialect::Settings));
        // An empty list is stored as an invalid value: present, but no list.
        if (settings.contains(RecentExcludedFoldersKey))
            return settings.value(RecentExcludedFoldersKey).toStringList();
    }
    const KPlatform* platform = KPlatform::instance();
    return { platform->tempFolder(), platform->cacheFolder() };
}

void KConfig::setRecentExcludedFolders(const QStringList& patterns)
{
    write(RecentExcludedFoldersKey, patterns);
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
    bool written = false;
    {
        const QString path = filePath();
        const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
        QSettings settings(path, KIniFormat::format(KIniFormat::Dialect::Settings));
        settings.sync();
        written = settings.status() == QSettings::NoError;
    }
    return KRegistryKey(CounterKey).sync() && written;
}
