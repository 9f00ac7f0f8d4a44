#include "platform/kpaths.h"

#include <QRegularExpression>

namespace KPaths {

QChar nativeSeparator()
{
    return QLatin1Char('/');
}

QString foldCase(const QString& path)
{
    return path; // Linux file names are case-sensitive.
}

QString upperCaseDriveLetter(const QString& path)
{
    return path;
}

QString fromWindowsRelative(const QString& relative)
{
    QString native = relative;
    native.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return native;
}

QString toNativeSeparators(const QString& path)
{
    return path; // "\" is an ordinary file-name character here.
}

QString driveShortName(const QString& root)
{
    static const QRegularExpression driveLetter(QStringLiteral("^([A-Za-z]):[\\\\/]?$"));
    const QRegularExpressionMatch match = driveLetter.match(root);
    if (match.hasMatch())
        return match.captured(1);
    const QStringList parts = root.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? root : parts.last();
}

QString libraryFileName(const QString& baseName)
{
    return QStringLiteral("lib") + baseName + QStringLiteral(".so");
}

} // namespace KPaths
