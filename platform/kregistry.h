#pragma once

#include <QScopedPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class KIniStore;

// One key of the user's registry, opened by its full path such as
// "HKEY_CURRENT_USER\Software\Tarsel\Atrium". Key paths and value names ignore case, as the
// registry does. Reads of a missing key find nothing; only HKEY_CURRENT_USER is available.
class KRegistryKey
{
public:
    explicit KRegistryKey(const QString& keyPath);
    ~KRegistryKey();

    // False for a path outside the available hive; such a key reads empty and ignores writes.
    bool isValid() const;
    bool exists() const;

    // Value names and subkey names directly under the key, in a stable (sorted) order.
    QStringList valueNames() const;
    QStringList subKeyNames() const;

    QVariant value(const QString& name, const QVariant& defaultValue = QVariant()) const;
    // Every value of the key as text, in the order of valueNames().
    QVector<QPair<QString, QString>> values() const;
    // The same without their names; the same list while they do not change.
    QStringList valueTexts() const;

    void setValue(const QString& name, const QVariant& value);
    void removeValue(const QString& name);
    // Removes the key with all its values and subkeys.
    void removeKey();

    // Writes pending changes to the hive; they are also written when the key is destroyed. False
    // when the hive could not be written: it keeps its previous content, and the changes stay
    // pending in this process (its reads see them) until a later sync of the hive succeeds. A
    // write changes only the lines of the values it writes (platform/kinistore.h).
    [[nodiscard]] bool sync();

private:
    QString keyOf(const QString& name) const;

    QString m_group;
    QScopedPointer<KIniStore> m_store;
    Q_DISABLE_COPY(KRegistryKey)
};
