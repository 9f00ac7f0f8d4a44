#include "Widgets/home/kdrivename.h"

#include "platform/kpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

namespace KDriveName {

QString of(const QString& root, const QString& homeFolder)
{
    static const QRegularExpression driveLetter(QStringLiteral("^[A-Za-z]:[\\\\/]?$"));
    if (driveLetter.match(root).hasMatch())
        return QCoreApplication::translate("KDriveName", "%1盘").arg(KPaths::driveShortName(root));
    if (!homeFolder.isEmpty() && QDir::cleanPath(root) == QDir::cleanPath(homeFolder))
        return QCoreApplication::translate("KDriveName", "主文件夹");
    return KPaths::driveShortName(root);
}

} // namespace KDriveName
