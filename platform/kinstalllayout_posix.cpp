#include "platform/kinstalllayout.h"

#include <QDir>
#include <QFileInfo>

namespace KInstallLayout {

namespace {

// The installed folder when it exists, else the executable's own folder: a build tree has no
// such folder beside its bin/, and an installed program always has it.
QString folderFor(const QString& executable, const QString& relative)
{
    const QString beside = QFileInfo(executable).absolutePath();
    const QString installed = QDir::cleanPath(beside + QLatin1Char('/') + relative);
    return QFileInfo(installed).isDir() ? installed : beside;
}

} // namespace

QString libraryFolder(const QString& executable)
{
    return folderFor(executable, QStringLiteral(VK_INSTALL_BIN_TO_LIBRARIES));
}

QString dataFolder(const QString& executable)
{
    return folderFor(executable, QStringLiteral(VK_INSTALL_BIN_TO_DATA));
}

} // namespace KInstallLayout
