#include "platform/kinistore.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"

// The emulated hive is one INI file per user, shared by every program of the user (see
// KIniStore). INI names are case-sensitive, so key paths and value names are folded to lower
// case, both as they are written and as they are read.

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

} // namespace

KRegistryKey::KRegistryKey(const QString& keyPath)
{
    const QString hive = KPlatform::instance()->registryHiveFile();
    if (groupOf(keyPath, &m_group) && !hive.isEmpty())
        m_store.reset(new KIniStore(hive, KIniFormat::Dialect::Registry));
}

KRegistryKey::~KRegistryKey()
{
    // What cannot be written now stays pending in the process for a later sync.
    if (m_store)
        static_cast<void>(m_store->sync());
}

QString KRegistryKey::keyOf(const QString& name) const
{
    return m_group.isEmpty() ? foldName(name) : m_group + QLatin1Char('/') + foldName(name);
}

bool KRegistryKey::isValid() const
{
    return !m_store.isNull();
}

bool KRegistryKey::exists() const
{
    return m_store && (!m_store->childKeys(m_group).isEmpty() || !m_store->childGroups(m_group).isEmpty());
}

QStringList KRegistryKey::valueNames() const
{
    return m_store ? m_store->childKeys(m_group) : QStringList();
}

QStringList KRegistryKey::subKeyNames() const
{
    return m_store ? m_store->childGroups(m_group) : QStringList();
}

QVariant KRegistryKey::value(const QString& name, const QVariant& defaultValue) const
{
    return m_store ? m_store->value(keyOf(name), defaultValue) : defaultValue;
}

QVector<QPair<QString, QString>> KRegistryKey::values() const
{
    QVector<QPair<QString, QString>> result;
    if (!m_store)
        return result;
    const auto values = m_store->childValues(m_group);
    result.reserve(values.size());
    for (const auto& value : values)
        result.append({ value.first, value.second.toString() });
    return result;
}

QStringList KRegistryKey::valueTexts() const
{
    return m_store ? m_store->childValueTexts(m_group) : QStringList();
}

void KRegistryKey::setValue(const QString& name, const QVariant& value)
{
    if (m_store)
        m_store->setValue(keyOf(name), value);
}

void KRegistryKey::removeValue(const QString& name)
{
    if (m_store)
        m_store->remove(keyOf(name));
}

void KRegistryKey::removeKey()
{
    if (m_store)
        m_store->remove(m_group);
}

bool KRegistryKey::sync()
{
    return m_store && m_store->sync();
}
