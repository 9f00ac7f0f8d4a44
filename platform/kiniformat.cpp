#include "platform/kiniformat.h"

#include <QFileDevice>

#include <unistd.h>

namespace {

bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    return u <= '9' ? u - '0' : (u | 0x20) - 'a' + 10;
}

// Up to `most` hex digits from `at`; the number of digits read goes to `length`.
int readHex(const QString& text, int at, int most, int* length)
{
    int value = 0;
    int digits = 0;
    while (digits < most && at + digits < text.size() && isHexDigit(text.at(at + digits))) {
        value = value * 16 + hexValue(text.at(at + digits));
        ++digits;
    }
    *length = digits;
    return value;
}

// A section or key name: %XX and %UXXXX name characters, "\" separates groups.
QString unescapedName(const QString& text)
{
    QString name;
    name.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        int digits = 0;
        if (c == QLatin1Char('%') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('U')) {
            const int value = readHex(text, i + 2, 4, &digits);
            if (digits == 4) {
                name += QChar(ushort(value));
                i += 5;
                continue;
            }
        } else if (c == QLatin1Char('%')) {
            const int value = readHex(text, i + 1, 2, &digits);
            if (digits == 2) {
                name += QChar(ushort(value));
                i += 2;
                continue;
            }
        }
        name += c == QLatin1Char('\\') ? QLatin1Char('/') : c;
    }
    return name;
}

void appendEscapedName(const QString& name, QByteArray* out)
{
    static const char hex[] = "0123456789ABCDEF";
    for (const QChar qc : name) {
        const ushort c = qc.unicode();
        if (c == '/') {
            *out += '\\';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
            || c == '-' || c == '.') {
            *out += char(c);
        } else if (c <= 0xFF) {
            *out += '%';
            *out += hex[c / 16];
            *out += hex[c % 16];
        } else {
            *out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                *out += hex[(c >> shift) & 0xF];
        }
    }
}

QChar namedEscape(QChar c)
{
    switch (c.unicode()) {
    case '\\':
        return QLatin1Char('\\');
    case '"':
        return QLatin1Char('"');
    case '\'':
        return QLatin1Char('\'');
    case '?':
        return QLatin1Char('?');
    case 'n':
        return QLatin1Char('\n');
    case 'r':
        return QLatin1Char('\r');
    case 't':
        return QLatin1Char('\t');
    case 'a':
        return QLatin1Char('\a');
    case 'b':
        return QLatin1Char('\b');
    case 'f':
        return QLatin1Char('\f');
    case 'v':
        return QLatin1Char('\v');
    case '0':
        return QChar(0);
    default:
        return QChar(0xFFFF); // none
    }
}

// A value: quoted parts are kept as they are, unquoted blanks at the ends of each part are
// dropped, and backslash escapes are read in both. A backslash that ends the line, or that starts
// no escape, is a plain backslash. With `lists`, unquoted commas separate the items of a list, as
// in Qt's INI files; otherwise they are part of the text.
QVariant unescapedValue(const QString& text, bool lists)
{
    QStringList items;
    QString value;
    value.reserve(text.size());
    int kept = 0; // the length without unquoted blanks at the end
    bool quoted = false;
    bool separated = false;
    const auto skipBlanks = [&text](int i) {
        while (i < text.size() && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
            ++i;
        return i;
    };
    const auto finishItem = [&] {
        value.truncate(kept);
        if (value.startsWith(QLatin1String("@@")))
            value.remove(0, 1);
        items.append(value);
        value.clear();
        kept = 0;
    };
    for (int i = skipBlanks(0); i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            kept = value.size();
            continue;
        }
        if (lists && !quoted && c == QLatin1Char(',')) {
            finishItem();
            separated = true;
            i = skipBlanks(i + 1) - 1;
            continue;
        }
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar plain = namedEscape(text.at(i + 1));
            if (plain != QChar(0xFFFF)) {
                value += plain;
                kept = value.size();
                ++i;
                continue;
            }
            int digits = 0;
            const int code = text.at(i + 1) == QLatin1Char('x') ? readHex(text, i + 2, 4, &digits) : 0;
            if (digits > 0) {
                value += QChar(ushort(code));
                kept = value.size();
                i += 1 + digits;
                continue;
            }
        }
        value += c;
        if (quoted || (c != QLatin1Char(' ') && c != QLatin1Char('\t')))
            kept = value.size();
    }
    finishItem();
    if (separated)
        return items;
    // Qt writes an empty list, or no value at all, so.
    if (items.constFirst() == QLatin1String("@Invalid()") && !text.contains(QLatin1Char('"')))
        return QVariant();
    return items.constFirst();
}

// As Qt writes values: plain ones as they are, others quoted with backslash escapes, anything
// outside printable ASCII as \xHHHH (and a hex digit right after one escaped too), so that any
// reader of Qt's INI files reads them back, whatever text encoding it assumes.
void appendEscapedValue(const QString& value, QByteArray* out)
{
    bool plain = true;
    for (const QChar qc : value) {
        const ushort c = qc.unicode();
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
                || c == '-' || c == '.' || c == '+')) {
            plain = false;
            break;
        }
    }
    if (plain) {
        *out += value.toLatin1();
        return;
    }
    static const char hex[] = "0123456789abcdef";
    const QString text = value.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + value : value;
    *out += '"';
    bool afterHex = false;
    for (const QChar qc : text) {
        const ushort c = qc.unicode();
        const bool hexDigit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (c == '\\' || c == '"') {
            *out += '\\';
            *out += char(c);
        } else if (c == '\n') {
            *out += "\\n";
        } else if (c == '\r') {
            *out += "\\r";
        } else if (c == '\t') {
            *out += "\\t";
        } else if (c < 0x20 || c >= 0x7F || (afterHex && hexDigit)) {
            *out += "\\x";
            for (int shift = 12; shift >= 0; shift -= 4)
                *out += hex[(c >> shift) & 0xF];
            afterHex = true;
            continue;
        } else {
            *out += char(c);
        }
        afterHex = false;
    }
    *out += '"';
}

// A value as Qt writes it: a list as its items separated by commas, an empty list or no value
// as "@Invalid()".
void appendValue(const QVariant& value, QByteArray* out)
{
    if (!value.isValid()) {
        *out += "@Invalid()";
        return;
    }
    if (value.userType() != QMetaType::QStringList && value.userType() != QMetaType::QVariantList) {
        appendEscapedValue(value.toString(), out);
        return;
    }
    const QStringList items = value.toStringList();
    if (items.isEmpty())
        *out += "@Invalid()";
    for (int i = 0; i < items.size(); ++i) {
        if (i > 0)
            *out += ", ";
        // An item that reads like a list, or like no value, is quoted by appendEscapedValue().
        appendEscapedValue(items.at(i), out);
    }
}

bool readRegistry(QIODevice& device, QSettings::SettingsMap& map)
{
    map = KIniFormat::parse(device.readAll(), KIniFormat::Dialect::Registry);
    return true;
}

bool readSettings(QIODevice& device, QSettings::SettingsMap& map)
{
    map = KIniFormat::parse(device.readAll(), KIniFormat::Dialect::Settings);
    return true;
}

// Every byte reaches the disk before QSettings may rename the new file over the old one: Qt 5
// buffers small writes and would otherwise learn of a full disk only when it is too late to
// keep the old file.
bool writeChecked(QIODevice& device, const QSettings::SettingsMap& map)
{
    const QByteArray text = KIniFormat::serialize(map);
    if (device.write(text) != text.size())
        return false;
    auto* file = qobject_cast<QFileDevice*>(&device);
    if (!file)
        return true;
    return file->flush() && (file->handle() < 0 || ::fsync(file->handle()) == 0);
}

} // namespace

namespace KIniFormat {

QSettings::Format format(Dialect dialect)
{
    static const QSettings::Format registry
        = QSettings::registerFormat(QStringLiteral("ini"), readRegistry, writeChecked);
    static const QSettings::Format settings
        = QSettings::registerFormat(QStringLiteral("ini"), readSettings, writeChecked);
    return dialect == Dialect::Registry ? registry : settings;
}

QSettings::SettingsMap parse(const QByteArray& text, Dialect dialect)
{
    const bool foldCase = dialect == Dialect::Registry;
    QSettings::SettingsMap map;
    QString section;
    const QString whole = QString::fromUtf8(text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text);
    int at = 0;
    while (at < whole.size()) {
        int end = at;
        while (end < whole.size() && whole.at(end) != QLatin1Char('\n') && whole.at(end) != QLatin1Char('\r'))
            ++end;
        const QString line = whole.mid(at, end - at).trimmed();
        at = end + 1;
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const int close = line.lastIndexOf(QLatin1Char(']'));
            const QString name = line.mid(1, close > 0 ? close - 1 : -1).trimmed();
            if (name.isEmpty() || name.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
                section.clear();
            else if (name.compare(QLatin1String("%general"), Qt::CaseInsensitive) == 0)
                section = name.mid(1);
            else
                section = unescapedName(name);
            if (foldCase)
                section = section.toLower();
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        QString key = unescapedName(line.left(equals).trimmed());
        if (foldCase)
            key = key.toLower();
        if (!section.isEmpty())
            key = section + QLatin1Char('/') + key;
        map.insert(key, unescapedValue(line.mid(equals + 1), dialect == Dialect::Settings));
    }
    return map;
}

QByteArray serialize(const QSettings::SettingsMap& map)
{
    // One section per group, the top level ([General]) first, then the groups in name order.
    QMap<QString, QVector<QSettings::SettingsMap::const_iterator>> groups;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int slash = it.key().lastIndexOf(QLatin1Char('/'));
        groups[slash > 0 ? it.key().left(slash) : QString()].append(it);
    }
    QByteArray out;
    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        if (!out.isEmpty())
            out += '\n';
        out += '[';
        if (group.key().isEmpty())
            out += "General";
        else if (group.key().compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
            out += '%' + group.key().toUtf8();
        else
            appendEscapedName(group.key(), &out);
        out += "]\n";
        const int nameFrom = group.key().isEmpty() ? 0 : group.key().size() + 1;
        for (const auto& entry : group.value()) {
            appendEscapedName(entry.key().mid(nameFrom), &out);
            out += '=';
            appendValue(entry.value(), &out);
            out += '\n';
        }
    }
    return out;
}

} // namespace KIniFormat
