#include "platform/kautostart.h"

#include "platform/kfileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <unistd.h>

KAutostart::KAutostart(const QString& configHome, const QString& applicationId)
    : m_applicationId(applicationId)
    , m_path(QDir(configHome).filePath(QStringLiteral("autostart/%1.desktop").arg(applicationId)))
{ }

bool KAutostart::isEnabled() const
{
    const std::unique_ptr<QFile> file = KFileIO::openRegularFile(m_path, MaxEntrySize);
    if (!file)
        return false;
    bool inEntry = false;
    while (!file->atEnd()) {
        const QByteArray line = file->readLine(MaxEntrySize).trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const int equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

bool KAutostart::setEnabled(
    bool enabled, const QString& program, const QStringList& arguments, QString* error) const
{
    if (!enabled) {
        if (::unlink(QFile::encodeName(m_path).constData()) == 0 || errno == ENOENT)
            return true;
        *error = QStringLiteral("cannot remove %1: %2")
                     .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!KFileIO::makeFolder(QFileInfo(m_path).path())) {
        *error = QStringLiteral("cannot make the folder of %1: %2")
                     .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QStringList exec { quoteArgument(program) };
    for (const QString& argument : arguments)
        exec << quoteArgument(argument);
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Vaultkeep\n"
                                         "Exec=%1\n"
                                         "Icon=%2\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(exec.join(QLatin1Char(' ')), m_applicationId);
    if (KFileIO::replaceContents(m_path, entry.toUtf8(), 0600))
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

QString KAutostart::quoteArgument(const QString& argument)
{
    static const QString Reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=%");
    bool plain = !argument.isEmpty();
    for (const QChar c : argument)
        plain = plain && !Reserved.contains(c);
    if (plain)
        return argument;
    // Inside double quotes, `"`, `` ` ``, `$` and `\` are escaped with a backslash; the key's
    // own escaping doubles every backslash once more.
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QLatin1String("\\\\");
        if (c == QLatin1Char('\\'))
            quoted += QLatin1String("\\\\\\");
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
