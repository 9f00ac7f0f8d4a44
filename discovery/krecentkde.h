#pragma once

#include <QByteArray>
#include <QString>

// KDE's recent documents: one ".desktop" file per document in "RecentDocuments" under the data
// folder, its "URL" key a KConfig path entry ("URL[$e]=file:$HOME/Documents/Plan A.odt":
// "$HOME" stands for the home folder and "$$" for "$"; written as a URL, but with only "%", and
// what would end the path, percent-encoded). The entry holds no time; its file's modification
// time is when the document was last used.
namespace KRecentKde {

// The local file an entry names; empty when it names none, or when its URL depends on anything
// but the home folder.
QString parse(const QByteArray& content, const QString& homeFolder);

} // namespace KRecentKde
