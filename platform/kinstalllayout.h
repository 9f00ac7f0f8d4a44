#pragma once

#include <QString>

// Where the product's own files lie for a running program. In the build tree, and in the host's
// own installation, everything lies beside the executable. Installed under a prefix, the
// libraries bound at run time by file name (the plug-in, the trace and data-engine libraries)
// lie in a private library folder and the pictures in a data folder, both found from the
// executable's folder by the relative paths the build was configured with.
namespace KInstallLayout {

// The folder of the plug-in and the libraries it binds, for the program `executable`.
QString libraryFolder(const QString& executable);
// The folder that holds the skin folders (VaultkeepSkin, AtriumSkin), for the program `executable`.
QString dataFolder(const QString& executable);

} // namespace KInstallLayout
