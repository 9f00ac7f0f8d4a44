#pragma once

#include "discovery/kreadwindow.h"

#include <QList>
#include <QString>

class QIODevice;

// One file of a recent-file list and when it was last used, -1 when the list does not say.
struct KRecentEntry
{
    QString path;
    qint64 usedMSecs = -1;
};

// The freedesktop recent-file list "recently-used.xbel", which GTK programs and the desktop
// frameworks rewrite whole whenever a file is used: an XBEL document of bookmarks, each with an
// href and the times it was added, modified and visited.
namespace KRecentXbel {

// The local files the bookmarks name, in the document's order, each with the latest of its
// times, read from `device` as far as `maxBytes`. Folders are left out (by their type,
// inode/directory). A malformed bookmark costs that bookmark only; a time that cannot be read
// costs nothing but the entry's time.
KReadResult parse(QIODevice* device, qint64 maxBytes, QList<KRecentEntry>* entries);

// An ISO 8601 time as "2024-03-01T09:12:45.123456Z" or with an offset instead of the "Z", in
// milliseconds since the epoch; -1 when it is not one.
qint64 parseTime(const char* begin, const char* end);

} // namespace KRecentXbel
