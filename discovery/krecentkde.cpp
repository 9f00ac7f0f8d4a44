#include "discovery/krecentkde.h"

#include "discovery/kfileuri.h"

#include <QIODevice>

namespace {

// A KConfig value with its escapes undone: "\s", "\t", "\n", "\r", "\\" and "\xHH".
QString unescape(const QByteArray& value)
{
    QByteArray bytes;
    bytes.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (c != '\\' || i + 1 == value.size()) {
            bytes.append(c);
            continue;
        }
        const char escaped = value.at(++i);
        switch (escaped) {
        case 's':
            bytes.append(' ');
            break;
        case 't':
            bytes.append('\t');
            break;
        case 'n':
            bytes.append('\n');
            break;
        case 'r':
            bytes.append('\r');
            break;
        case '\\':
            bytes.append('\\');
            break;
        case 'x': {
            bool ok = false;
            const int byte = value.mid(i + 1, 2).toInt(&ok, 16);
            if (ok && i + 2 < value.size()) {
                bytes.append(char(byte));
                i += 2;
            } else {
                bytes.append("\\x");
            }
            break;
        }
        default: // kept as written, as KConfig keeps the escapes of list separators
            bytes.append('\\');
            bytes.append(escaped);
        }
    }
    return QString::fromUtf8(bytes);
}

// "$$" as "$", "$HOME" and "${HOME}" as the home folder; false for any other expansion
// (another variable or a command), which only the user's session could answer.
bool expand(const QString& value, const QString& homeFolder, QString* out)
{
    out->clear();
    for (int i = 0; i < value.size(); ++i) {
        if (value.at(i) != QLatin1Char('$')) {
            out->append(value.at(i));
            continue;
        }
        const QStringRef rest = value.midRef(i + 1);
        if (rest.startsWith(QLatin1Char('$'))) {
            out->append(QLatin1Char('$'));
            i += 1;
        } else if (rest.startsWith(QLatin1String("{HOME}"))) {
            out->append(homeFolder);
            i += 6;
        } else if (rest.startsWith(QLatin1String("HOME"))
            && (rest.size() == 4 || !(rest.at(4).isLetterOrNumber() || rest.at(4) == QLatin1Char('_')))) {
            out->append(homeFolder);
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

namespace KRecentKde {

QString parse(QIODevice* device, const QString& homeFolder)
{
    bool inEntry = false;
    QString url;
    bool expanded = false;
    for (qint64 left = MaxEntryBytes; left > 0 && !device->atEnd();) {
        const QByteArray raw = device->readLine(left);
        if (raw.isEmpty())
            break; // a read error
        left -= raw.size();
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const int equals = line.indexOf('=');
        if (!inEntry || line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        // "URL" with optional flags such as "[$e]" (expand); the last one written counts.
        if (key != "URL" && !(key.startsWith("URL[$") && key.endsWith(']')))
            continue;
        url = unescape(line.mid(equals + 1).trimmed());
        expanded = key.indexOf('e', 4) > 0;
    }
    QString path = url;
    if (expanded && !expand(url, homeFolder, &path))
        return QString();
    return KFileUri::localPath(path);
}

} // namespace KRecentKde
