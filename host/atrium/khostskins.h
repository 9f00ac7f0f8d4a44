#pragma once

#include <QString>

// The host's skins: a folder per skin with the picture its title strips tile sideways. The
// build paints them beside the host executable; they are installed in the data folder.
namespace KHostSkins {

// "AtriumSkin" beside the running executable, or in the installed data folder.
QString defaultFolder();
// Paints every skin into `folder`; false with the reason when a file cannot be written.
bool paint(const QString& folder, QString* error);

} // namespace KHostSkins
