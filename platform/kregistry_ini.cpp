#include "platform/kiniformat.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"
#include "platform/ksettingslock.h"

#include <QHash>
#include <QSettings>

#include <memory>

// The emulated hive is one INI file per user. QSettings locks it and replaces it atomically,
// so several processes can share it; the module's own INI format (platform/kiniformat.h) checks
// every write before the old file is replaced. INI names are case-sensitive, so key paths and
// value names are folded to lower case, both as they are written and as they are read.

namespace {

QString foldName(const QString& name)
{
    return name.toLower();
}

// "HKEY_CURRENT_USER\Software\X" -> "software/x"; false for any other hive.
bool groupOf(const QString& keyPath, QString* group)
{
    QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    const QString hive = parts.takeFirst().toUpper();
    if (hive != QLatin1String("HKEY_CURRENT_USER") && hive != QLatin1String("HKCU"))
        return false;
    *group = foldName(parts.join(QLatin1Char('/')));
    return true;
}

// Qt drops its parsed copy of a large settings file as soon as the last QSettings on it closes,
// so every key opened would parse the whole hive again. One QSettings per hive file stays open
// for the life of the process and keeps the parsed copy shared; each key still sees other
// processes' writes, since a new QSettings compares the file's size and modification time (to
// the millisecond) with its copy.
// Called under the settings lock.
void keepHiveParsed(const QString& hive)
{
    static QHash<QString, std::shared_ptr<QSettings>> keepers;
    if (!keepers.contains(hive))
        keepers.insert(
            hive, std::make_shared<QSettings>(hive, KIniFormat::format(KIniFormat::Dialect::Registry)));
}

} // namespace

KRegistryKey::KRegistryKey(const QString& keyPath)
{
    const QString hive = KPlatform::instance()->registryHiveFile();
    if (groupOf(keyPath, &m_group) && !hive.isEmpty()) {
        const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
        keepHiveParsed(hive);
        m_settings.reset(new QSettings(hive, KIniFormat::format(KIniFormat::Dialect::Registry)));
        if (!m_group.isEmpty())
            m_settings->beginGroup(m_group);
    }
}

KRegistryKey::~KRegistryKey()
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    m_settings.reset(); // writes pending changes
}

bool KRegistryKey::isValid() const
{
    return !m_settings.isNull();
}

bool KRegistryKey::exists() const
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    if (!m_settings)
        return false;
    return !m_settings->childKeys().isEmpty() || !m_settings->childGroups().isEmpty();
}

QStringList KRegistryKey::valueNames() const
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    return m_settings ? m_settings->childKeys() : QStringList();
}

QStringList KRegistryKey::subKeyNames() const
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    return m_settings ? m_settings->childGroups() : QStringList();
}

QVariant KRegistryKey::value(const QString& name, const QVariant& defaultValue) const
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    return m_settings ? m_settings->value(foldName(name), defaultValue) : defaultValue;
}

QVector<QPair<QString, QString>> KRegistryKey::values() const
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    QVector<QPair<QString, QString>> result;
    if (!m_settings)
        return result;
    const QStringList names = m_settings->childKeys();
    result.reserve(names.size());
    for (const QString& name : names)
        result.append({ name, m_settings->value(name).toString() });
    return result;
}

void KRegistryKey::setValue(const QString& name, const QVariant& value)
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    if (m_settings)
        m_settings->setValue(foldName(name), value);
}

void KRegistryKey::removeValue(const QString& name)
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    if (m_settings)
        m_settings->remove(foldName(name));
}

void KRegistryKey::removeKey()
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    if (m_settings)
        m_settings->remove(QString()); // the current group with everything below it
}

bool KRegistryKey::sync()
{
    const std::lock_guard<std::mutex> locker(KSettingsLock::mutex());
    if (!m_settings)
        return false;
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    // A QSettings keeps the first error it met. A new one on the hive writes what is still
    // pending as it opens and tells whether that got through.
    const QSettings fresh(m_settings->fileName(), KIniFormat::format(KIniFormat::Dialect::Registry));
    return fresh.status() == QSettings::NoError;
}
