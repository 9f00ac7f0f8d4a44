#pragma once

#include "discovery/kreadwindow.h"

#include <QStringList>

class QIODevice;

// LibreOffice's own list of recent documents, the "PickList" history in its settings file
// "registrymodifications.xcu": items named by URL under ".../HistoryInfo['PickList']/ItemList"
// and their order under ".../OrderList", nodes "0", "1", ... whose "HistoryItemRef" names an
// item, "0" the newest. Either can be written as a node inside the list's item or as an item
// whose path ends in the node ("...:HistoryItem['<url>']", "...:HistoryOrder['0']").
namespace KRecentLibreOffice {

// The local files of the history, newest first, without the entries marked removed, read from
// `device` as far as `maxBytes`. The file is megabytes of other settings and pictures: only the
// history's items are parsed, each on its own, so that a malformed item costs that item only.
KReadResult parse(QIODevice* device, qint64 maxBytes, QStringList* files);

} // namespace KRecentLibreOffice
