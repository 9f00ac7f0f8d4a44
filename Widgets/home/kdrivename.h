#pragma once

#include <QString>

// The name a user knows a drive by, as the desktop shows it: "D盘" for a drive letter, "主文件夹"
// for the volume of the home folder (whose root is the home folder), else the name of the folder
// it is mounted on, which desktops name after the volume's label.
namespace KDriveName {

QString of(const QString& root, const QString& homeFolder);

} // namespace KDriveName
