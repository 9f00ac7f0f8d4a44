#include "kfuzzrequire.h"
#include "platform/kiniformat.h"

// The hive and the settings file as anyone may have written them. Whatever reads as INI is written
// back byte for byte when nothing changed; a value written over a key or as a new key reads back as
// written, every other key reads as before, and setting a key touches no line but that key's.
// The first byte picks the dialect and the key; the last bytes make the value.

namespace {

KIniFormat::Document parsed(const QByteArray& text, KIniFormat::Dialect dialect)
{
    KIniFormat::Document document;
    require(document.parse(text, dialect), "what the module wrote does not read as INI");
    return document;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto dialect = data[0] & 1 ? KIniFormat::Dialect::Registry : KIniFormat::Dialect::Settings;
    const QByteArray text(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    KIniFormat::Document document;
    if (!document.parse(text, dialect))
        return 0;
    require(document.edited({}) == text, "a write without changes changed the text");

    const QSettings::SettingsMap& values = document.values();
    const QString value = QString::fromUtf8(text.right(12));
    QString group;
    if (!values.isEmpty()) {
        const QString key = values.keys().at(int(data[0] >> 1) % values.size());
        const QByteArray text = document.edited({ { key, value } });
        const KIniFormat::Document changed = parsed(text, dialect);
        QSettings::SettingsMap expected = values;
        expected.insert(key, value);
        require(changed.values() == expected, "setting a key changed the keys read");
        require(
            changed.edited({ { key, QVariant(), true } }) == document.edited({ { key, QVariant(), true } }),
            "setting a key changed other lines");
        group = key.left(qMax(0, key.lastIndexOf(QLatin1Char('/'))));

        // Taken on without reading it again, the text edits as if it had been read.
        KIniFormat::Document adopted = document;
        require(adopted.adopt(text, { { key, value } }, dialect) == KIniFormat::Document::Adopted::InPlace,
            "a new value for a key was not taken on in place");
        require(adopted.values() == changed.values(), "a value taken on in place reads otherwise");
        const QString other = values.keys().at(int(data[size - 1]) % values.size());
        const QVector<QVector<KIniFormat::Change>> edits = { { { other, QStringLiteral("x y") } },
            { { other, QVariant(), true } },
            { { group.isEmpty() ? QStringLiteral("vkfuzz") : group + QStringLiteral("/vkfuzz"), value } },
            { { QStringLiteral("vkfuzz/new"), value } } };
        for (const auto& edit : edits)
            require(adopted.edited(edit) == changed.edited(edit), "a line moved in place is out of place");
    }

    const QString added = group.isEmpty() ? QStringLiteral("vkfuzz") : group + QStringLiteral("/vkfuzz");
    if (!values.contains(added)) {
        QSettings::SettingsMap expected = values;
        expected.insert(added, value);
        require(parsed(document.edited({ { added, value } }), dialect).values() == expected,
            "adding a key changed the keys read");
    }
    return 0;
}
