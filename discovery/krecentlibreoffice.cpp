#include "discovery/krecentlibreoffice.h"

#include "discovery/kfileuri.h"
#include "discovery/kmarkupscanner.h"

#include <QByteArrayMatcher>
#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace {

const QByteArray PickList = QByteArrayLiteral("HistoryInfo['PickList']");

// The history read so far.
struct History
{
    QMap<int, QString> order; // position -> file
    QStringList items; // in the order first seen
    QHash<QString, bool> removed; // file -> removed, the last word counting
};

// The name inside "...['<name>']" at the end of a configuration path, with the path's own
// escapes of "&", '"' and "'" undone.
QString segmentName(const QString& path)
{
    const int open = path.indexOf(QLatin1String("['"));
    const int close = path.lastIndexOf(QLatin1String("']"));
    if (open < 0 || close < open + 2)
        return QString();
    QString name = path.mid(open + 2, close - open - 2);
    name.replace(QLatin1String("&quot;"), QLatin1String("\""));
    name.replace(QLatin1String("&apos;"), QLatin1String("'"));
    name.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return name;
}

bool readPosition(const QString& text, int* position)
{
    bool ok = false;
    *position = text.toInt(&ok);
    return ok && *position >= 0;
}

// One "<item>...</item>" of the history; nothing of it counts unless all of it reads.
void readItem(const char* begin, const char* end, History* history)
{
    KMarkupScanner scanner(begin, end);
    QString path;
    if (scanner.next() != KMarkupScanner::StartTag || !scanner.isNamed("item")
        || !scanner.attribute("path", &path))
        return;
    const int listAt = path.indexOf(QLatin1String(PickList));
    if (listAt < 0)
        return;
    const QString list = path.mid(listAt + PickList.size());
    const bool items = list.startsWith(QLatin1String("/ItemList"));
    const bool order = list.startsWith(QLatin1String("/OrderList"));
    const bool nodeInside = list == QLatin1String("/ItemList") || list == QLatin1String("/OrderList");
    if (!items && !order)
        return;

    QList<QPair<QString, bool>> files; // file, removed
    QMap<int, QString> positions;
    QSet<int> removedPositions;
    int position = -1;
    bool inReference = false;
    if (!nodeInside) {
        const QString name = segmentName(list);
        if (items)
            files.append({ KFileUri::localPath(name), false });
        else if (!readPosition(name, &position))
            return;
    }
    int depth = 0;
    for (KMarkupScanner::Token token = scanner.next(); token != KMarkupScanner::End; token = scanner.next()) {
        if (token == KMarkupScanner::Broken)
            return;
        if (token == KMarkupScanner::EndTag) {
            if (scanner.isNamed("node"))
                --depth;
            else if (scanner.isNamed("prop"))
                inReference = false;
            continue;
        }
        if (scanner.isNamed("node")) {
            const bool topLevel = depth == 0;
            if (!scanner.isSelfClosing())
                ++depth;
            if (!nodeInside || !topLevel)
                continue;
            QString name;
            QString operation;
            if (!scanner.attribute("name", &name))
                return;
            const bool removed = scanner.attribute("op", &operation) && operation == QLatin1String("remove");
            if (items) {
                files.append({ KFileUri::localPath(name), removed });
            } else {
                if (!readPosition(name, &position))
                    return;
                if (removed)
                    removedPositions.insert(position);
            }
        } else if (order && scanner.isNamed("prop")) {
            QString name;
            inReference = !scanner.isSelfClosing() && scanner.attribute("name", &name)
                && name == QLatin1String("HistoryItemRef");
        } else if (inReference && position >= 0 && scanner.isNamed("value") && !scanner.isSelfClosing()) {
            QString uri;
            if (!scanner.text(&uri))
                return;
            positions.insert(position, KFileUri::localPath(uri));
        }
    }

    for (const auto& file : qAsConst(files)) {
        if (file.first.isEmpty())
            continue;
        if (!history->removed.contains(file.first))
            history->items.append(file.first);
        history->removed.insert(file.first, file.second);
    }
    for (auto it = positions.cbegin(); it != positions.cend(); ++it)
        history->order.insert(it.key(), it.value());
    for (const int removed : qAsConst(removedPositions))
        history->order.remove(removed);
}

// The first `pattern` in [from, end), or null.
const char* search(const QByteArrayMatcher& pattern, const char* from, const char* end)
{
    const int at = pattern.indexIn(from, int(end - from));
    return at < 0 ? nullptr : from + at;
}

// The last whole "<item" in [from, to), or null.
const char* lastItemStart(const char* from, const char* to)
{
    for (qint64 at = qint64(to - from) - 5; at >= 0; --at) {
        if (from[at] == '<' && std::memcmp(from + at, "<item", 5) == 0)
            return from + at;
    }
    return nullptr;
}

} // namespace

namespace KRecentLibreOffice {

KReadResult parse(QIODevice* device, qint64 maxBytes, QStringList* files)
{
    static const QByteArrayMatcher pickList(PickList);
    static const QByteArrayMatcher itemStart(QByteArrayLiteral("<item"));
    static const QByteArray itemEndText = QByteArrayLiteral("</item>");
    static const QByteArrayMatcher itemEnd(itemEndText);
    History history;
    KReadWindow window(device, maxBytes);
    const char* from = window.begin(); // what lies before is done with
    for (;;) {
        const char* const end = window.end();
        const char* hit = search(pickList, from, end);
        if (!hit) {
            // An item the window's end cuts is kept, to be found whole with the next bytes, and
            // so is a name the end cuts.
            const char* keep = end - from > PickList.size() ? end - PickList.size() : from;
            if (const char* item = lastItemStart(from, end))
                keep = std::min(keep, item);
            if (!window.more(keep))
                break;
            from = window.begin();
            continue;
        }
        const char* begin = lastItemStart(from, hit);
        if (!begin) {
            from = hit + PickList.size();
            continue;
        }
        const char* close = search(itemEnd, hit, end);
        if (const char* nextItem = search(itemStart, hit, close ? close : end)) {
            from = nextItem; // this item was cut short
            continue;
        }
        if (!close) {
            if (!window.more(begin))
                break; // never closed
            from = window.begin();
            continue;
        }
        close += itemEndText.size();
        readItem(begin, close, &history);
        from = close;
    }

    files->clear();
    QSet<QString> listed;
    const auto add = [&](const QString& file) {
        if (!file.isEmpty() && !history.removed.value(file) && !listed.contains(file)) {
            files->append(file);
            listed.insert(file);
        }
    };
    for (const QString& file : qAsConst(history.order))
        add(file);
    for (const QString& file : qAsConst(history.items))
        add(file);
    return window.result();
}

} // namespace KRecentLibreOffice
