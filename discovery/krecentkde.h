#pragma once

#include <QString>

class QIODevice;

// KDE's recent documents: one ".desktop" file per document in "RecentDocuments" under the data
// folder, its "URL" key a KConfig path entry ("URL[$e]=file:$HOME/Documents/Plan A.odt":
// "$HOME" stands for the home folder and "$$" for "$"; written as a URL, but with only "%", and
// what would end the path, percent-encoded). The entry holds no time; its file's modification
// time is when the document was last used.
namespace KRecentKde {

// The local file the entry read from `device` names, line by line, as far as MaxEntryBytes;
// empty when it names none, or when its URL depends on anything but the home folder.
QString parse(QIODevice* device, const QString& homeFolder);

// Far more than any entry holds.
constexpr qint64 MaxEntryBytes = 64 * 1024;

} // namespace KRecentKde
