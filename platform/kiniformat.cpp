#include "platform/kiniformat.h"

#include <QTextCodec>

#include <algorithm>
#include <cstring>

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

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// The line as text; false when it holds a NUL byte or is not UTF-8.
bool decodeLine(const char* data, int size, QString* line)
{
    if (std::memchr(data, 0, size_t(size)))
        return false;
    int ascii = 0;
    while (ascii < size && uchar(data[ascii]) < 0x80)
        ++ascii;
    if (ascii == size) {
        *line = QString::fromLatin1(data, size);
        return true;
    }
    static QTextCodec* const utf8 = QTextCodec::codecForMib(106);
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    *line = utf8->toUnicode(data, size, &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// What a reading of the key line data[begin, end) takes for its value.
QVariant lineValue(const char* data, int begin, int end, bool lists)
{
    while (begin < end && isBlank(data[begin]))
        ++begin;
    while (end > begin && isBlank(data[end - 1]))
        --end;
    QString line;
    decodeLine(data + begin, end - begin, &line);
    return unescapedValue(line.mid(line.indexOf(QLatin1Char('=')) + 1), lists);
}

// The group a section header names: "" for the top level.
QString sectionGroup(const QString& header, bool foldCase)
{
    const int close = header.lastIndexOf(QLatin1Char(']'));
    const QString name = header.mid(1, close > 0 ? close - 1 : -1).trimmed();
    QString group;
    if (name.compare(QLatin1String("%general"), Qt::CaseInsensitive) == 0)
        group = name.mid(1);
    else if (!name.isEmpty() && name.compare(QLatin1String("general"), Qt::CaseInsensitive) != 0)
        group = unescapedName(name);
    return foldCase ? group.toLower() : group;
}

void appendSectionHeader(const QString& group, const QByteArray& lineBreak, QByteArray* out)
{
    *out += '[';
    if (group.isEmpty())
        *out += "General";
    else if (group.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
        *out += '%' + group.toUtf8();
    else
        appendEscapedName(group, out);
    *out += ']' + lineBreak;
}

} // namespace

namespace KIniFormat {

bool Document::parse(const QByteArray& text, Dialect dialect)
{
    *this = Document();
    m_text = text;
    const bool foldCase = dialect == Dialect::Registry;
    const bool lists = dialect == Dialect::Settings;
    const char* data = m_text.constData();
    const int size = m_text.size();
    bool lineBreakSeen = false;
    bool blank = true;
    bool understood = false;
    bool inSection = false;
    bool readable = true; // the current section's name could be read
    QString group;
    for (int at = m_text.startsWith("\xEF\xBB\xBF") ? 3 : 0; at < size;) {
        int end = at;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        int next = end;
        if (next < size)
            next += data[next] == '\r' && next + 1 < size && data[next + 1] == '\n' ? 2 : 1;
        if (!lineBreakSeen && next > end) {
            m_lineBreak = m_text.mid(end, next - end);
            lineBreakSeen = true;
        }
        int from = at;
        int to = end;
        while (from < to && isBlank(data[from]))
            ++from;
        while (to > from && isBlank(data[to - 1]))
            --to;
        const int begin = at;
        at = next;
        if (from == to)
            continue;
        blank = false;
        QString line;
        const bool decoded = decodeLine(data + from, to - from, &line);
        const SectionEnd here { next, next == end };
        if (data[from] == ';') {
            understood = understood || decoded;
            continue;
        }
        if (data[from] == '[') {
            inSection = true;
            readable = decoded;
            if (decoded) {
                understood = true;
                group = sectionGroup(line, foldCase);
                m_sectionEnds.insert(group, here);
            }
            continue;
        }
        const int equals = decoded && readable ? line.indexOf(QLatin1Char('=')) : -1;
        if (equals > 0) {
            understood = true;
            QString key = unescapedName(line.left(equals).trimmed());
            if (foldCase)
                key = key.toLower();
            if (!group.isEmpty())
                key = group + QLatin1Char('/') + key;
            int valueBegin
                = int(static_cast<const char*>(std::memchr(data + from, '=', size_t(to - from))) - data) + 1;
            // The blanks the reading of the value skips, and no others.
            while (valueBegin < to && (data[valueBegin] == ' ' || data[valueBegin] == '\t'))
                ++valueBegin;
            m_lines[key].append({ begin, valueBegin, end, next });
            m_values.insert(key, unescapedValue(line.mid(equals + 1), lists));
        }
        // Before the first section only a key makes a place for new keys of the top level.
        if (readable && (inSection || equals > 0))
            m_sectionEnds.insert(group, here);
    }
    if (blank || understood)
        return true;
    *this = Document();
    return false;
}

QByteArray Document::edited(const QVector<Change>& changes) const
{
    struct Edit
    {
        int from;
        int to;
        QByteArray bytes;
    };
    QMap<int, Edit> edits; // by the start of the line they change
    QSettings::SettingsMap added;
    for (const Change& change : changes) {
        if (change.remove) {
            for (const QString& key : keyAndBelow(m_values, change.key)) {
                for (const KeyLine& line : m_lines.value(key))
                    edits.insert(line.begin, { line.begin, line.next, QByteArray() });
            }
            for (const QString& key : keyAndBelow(added, change.key))
                added.remove(key);
            continue;
        }
        const auto lines = m_lines.constFind(change.key);
        if (lines == m_lines.cend()) {
            added.insert(change.key, change.value);
            continue;
        }
        // A key written twice gets the value on both lines: whichever a reader takes, and no line
        // goes (which could join a lone CR before it with the LF after it).
        QByteArray value;
        appendValue(change.value, &value);
        for (const KeyLine& line : *lines)
            edits.insert(line.begin, { line.valueBegin, line.end, value });
    }

    QMap<int, QByteArray> inserts;
    QMap<QString, QByteArray> newSections;
    for (auto it = added.cbegin(); it != added.cend(); ++it) {
        const int slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString group = slash > 0 ? it.key().left(slash) : QString();
        QByteArray line;
        appendEscapedName(it.key().mid(slash > 0 ? slash + 1 : 0), &line);
        line += '=';
        appendValue(it.value(), &line);
        line += m_lineBreak;
        const auto end = m_sectionEnds.constFind(group);
        if (end == m_sectionEnds.cend()) {
            newSections[group] += line;
            continue;
        }
        QByteArray& bytes = inserts[end->at];
        if (bytes.isEmpty() && end->needsLineBreak)
            bytes += m_lineBreak;
        bytes += line;
    }

    QByteArray out;
    out.reserve(m_text.size() + 256);
    int copied = 0;
    const auto copyTo = [&](int at) {
        out.append(m_text.constData() + copied, at - copied);
        copied = at;
    };
    auto insert = inserts.cbegin();
    for (auto edit = edits.cbegin(); edit != edits.cend(); ++edit) {
        for (; insert != inserts.cend() && insert.key() <= edit.key(); ++insert) {
            copyTo(insert.key());
            out += insert.value();
        }
        copyTo(edit->from);
        out += edit->bytes;
        copied = edit->to;
    }
    for (; insert != inserts.cend(); ++insert) {
        copyTo(insert.key());
        out += insert.value();
    }
    copyTo(m_text.size());

    if (!newSections.isEmpty() && !out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
        out += m_lineBreak;
    for (auto section = newSections.cbegin(); section != newSections.cend(); ++section) {
        if (!out.isEmpty())
            out += m_lineBreak;
        appendSectionHeader(section.key(), m_lineBreak, &out);
        out += section.value();
    }
    return out;
}

Document::Adopted Document::adopt(const QByteArray& text, const QVector<Change>& changes, Dialect dialect)
{
    // The value each changed key gets; a later change of a key wins, as in edited().
    QHash<QString, QByteArray> written;
    for (const Change& change : changes) {
        if (change.remove || !m_lines.contains(change.key))
            return parse(text, dialect) ? Adopted::ReadAgain : Adopted::Unreadable;
        QByteArray& value = written[change.key];
        value.clear();
        appendValue(change.value, &value);
    }
    // Where each changed value ended and how much longer it got, in the order of the text.
    struct Shift
    {
        int end;
        int by;
    };
    QVector<Shift> shifts;
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        for (const KeyLine& line : m_lines.value(it.key()))
            shifts.append({ line.end, it.value().size() - (line.end - line.valueBegin) });
    }
    std::sort(shifts.begin(), shifts.end(), [](const Shift& a, const Shift& b) { return a.end < b.end; });
    const bool anyMoves
        = std::any_of(shifts.cbegin(), shifts.cend(), [](const Shift& s) { return s.by != 0; });
    int grown = 0;
    for (Shift& shift : shifts)
        shift.by = grown += shift.by;
    // A text other than the one these changes give is read whole.
    if (text.size() != m_text.size() + grown)
        return parse(text, dialect) ? Adopted::ReadAgain : Adopted::Unreadable;

    // A position moves by what the values that end before it (or, with `atEnd`, at it) grew.
    const auto moved = [&shifts](int at, bool atEnd) {
        const auto after = atEnd ? std::upper_bound(shifts.cbegin(), shifts.cend(), at,
                               [](int p, const Shift& s) { return p < s.end; })
                                 : std::lower_bound(shifts.cbegin(), shifts.cend(), at,
                                     [](const Shift& s, int p) { return s.end < p; });
        return after == shifts.cbegin() ? at : at + (after - 1)->by;
    };
    if (anyMoves) {
        for (auto it = m_lines.begin(); it != m_lines.end(); ++it) {
            const auto value = written.constFind(it.key());
            for (KeyLine& line : *it) {
                line.begin = moved(line.begin, true);
                // An empty value starts where it ends: it starts where it did.
                line.valueBegin = moved(line.valueBegin, false);
                line.next = moved(line.next, true);
                if (value == written.cend()) {
                    line.end = moved(line.end, true);
                    continue;
                }
                line.end = line.valueBegin + value->size();
                // Blanks after "=" before no value end the line: a reading skips them as such.
                while (value->isEmpty()
                    && (text.at(line.valueBegin - 1) == ' ' || text.at(line.valueBegin - 1) == '\t'))
                    --line.valueBegin;
            }
        }
        for (SectionEnd& end : m_sectionEnds)
            end.at = moved(end.at, true);
    }
    m_text = text;
    const bool lists = dialect == Dialect::Settings;
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const KeyLine& last = m_lines.value(it.key()).constLast();
        m_values.insert(it.key(), lineValue(m_text.constData(), last.begin, last.end, lists));
    }
    return Adopted::InPlace;
}

QStringList keyAndBelow(const QSettings::SettingsMap& map, const QString& key)
{
    if (key.isEmpty())
        return map.keys();
    QStringList keys;
    if (map.contains(key))
        keys.append(key);
    const QString below = key + QLatin1Char('/');
    for (auto it = map.lowerBound(below); it != map.cend() && it.key().startsWith(below); ++it)
        keys.append(it.key());
    return keys;
}

QSettings::SettingsMap parse(const QByteArray& text, Dialect dialect)
{
    Document document;
    return document.parse(text, dialect) ? document.values() : QSettings::SettingsMap();
}

} // namespace KIniFormat
