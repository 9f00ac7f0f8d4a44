#include "discovery/kfileuri.h"

#include <QDir>
#include <QFile>

namespace {

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Characters as the local encoding writes them; ASCII, by far the most common, directly.
void appendLiteral(const QStringRef& text, QByteArray* bytes)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            bytes->append(QFile::encodeName(text.toString()));
            return;
        }
    }
    bytes->append(text.toLatin1());
}

} // namespace

namespace KFileUri {

QString localPath(const QString& uri)
{
    if (!uri.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QString();
    QStringRef rest = uri.midRef(5);
    if (rest.startsWith(QLatin1String("//"))) {
        const int slash = rest.indexOf(QLatin1Char('/'), 2);
        if (slash < 0)
            return QString();
        const QStringRef host = rest.mid(2, slash - 2);
        if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
            return QString();
        rest = rest.mid(slash);
    }
    if (!rest.startsWith(QLatin1Char('/')))
        return QString();
    // A query or fragment is not part of the file name; a name holding "?" or "#" has them escaped.
    for (int i = 0; i < rest.size(); ++i) {
        if (rest.at(i) == QLatin1Char('?') || rest.at(i) == QLatin1Char('#')) {
            rest = rest.left(i);
            break;
        }
    }

    QByteArray bytes;
    bytes.reserve(rest.size());
    int literal = 0;
    for (int i = 0; i < rest.size(); ++i) {
        if (rest.at(i) != QLatin1Char('%') || i + 2 >= rest.size())
            continue;
        const int high = hexValue(rest.at(i + 1));
        const int low = hexValue(rest.at(i + 2));
        if (high < 0 || low < 0)
            continue; // a "%" not starting an escape stands for itself
        appendLiteral(rest.mid(literal, i - literal), &bytes);
        bytes.append(char(high * 16 + low));
        i += 2;
        literal = i + 1;
    }
    appendLiteral(rest.mid(literal), &bytes);

    if (bytes.endsWith('/') || bytes.contains('\0'))
        return QString();
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) != bytes)
        return QString(); // Qt could not open it under this name, nor name it in a backup
    return QDir::cleanPath(name);
}

} // namespace KFileUri
