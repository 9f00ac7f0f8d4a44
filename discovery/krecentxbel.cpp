#include "discovery/krecentxbel.h"

#include "discovery/kfileuri.h"
#include "discovery/kmarkupscanner.h"

#include <QDate>

#include <algorithm>

namespace {

// Reads `digits` decimal digits at `*at` and moves past them.
bool readNumber(const char** at, const char* end, int digits, int* value)
{
    if (end - *at < digits)
        return false;
    int number = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = (*at)[i];
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *at += digits;
    *value = number;
    return true;
}

bool expect(const char** at, const char* end, char c)
{
    if (*at == end || **at != c)
        return false;
    ++*at;
    return true;
}

} // namespace

namespace KRecentXbel {

qint64 parseTime(const char* begin, const char* end)
{
    const char* at = begin;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readNumber(&at, end, 4, &year) || !expect(&at, end, '-') || !readNumber(&at, end, 2, &month)
        || !expect(&at, end, '-') || !readNumber(&at, end, 2, &day) || !expect(&at, end, 'T')
        || !readNumber(&at, end, 2, &hour) || !expect(&at, end, ':') || !readNumber(&at, end, 2, &minute)
        || !expect(&at, end, ':') || !readNumber(&at, end, 2, &second)) {
        return -1;
    }
    if (!QDate::isValid(year, month, day) || hour > 23 || minute > 59 || second > 60)
        return -1;
    int msecs = 0;
    if (at != end && *at == '.') {
        ++at;
        const char* digits = at;
        while (at != end && *at >= '0' && *at <= '9')
            ++at;
        if (at == digits)
            return -1;
        for (int i = 0; i < 3; ++i)
            msecs = msecs * 10 + (digits + i < at ? digits[i] - '0' : 0);
    }
    int offsetMinutes = 0;
    if (at != end && (*at == '+' || *at == '-')) {
        const int sign = *at == '-' ? -1 : 1;
        ++at;
        int offsetHours = 0;
        int offsetRest = 0;
        if (!readNumber(&at, end, 2, &offsetHours))
            return -1;
        if (at != end && *at == ':')
            ++at;
        if (!readNumber(&at, end, 2, &offsetRest) || offsetHours > 23 || offsetRest > 59)
            return -1;
        offsetMinutes = sign * (offsetHours * 60 + offsetRest);
    } else if (!expect(&at, end, 'Z')) {
        return -1;
    }
    if (at != end)
        return -1;
    const qint64 days = QDate(year, month, day).toJulianDay() - QDate(1970, 1, 1).toJulianDay();
    const qint64 seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    return seconds * 1000 + msecs;
}

KReadResult parse(QIODevice* device, qint64 maxBytes, QList<KRecentEntry>* entries)
{
    KReadWindow window(device, maxBytes);
    KMarkupScanner scanner(&window);
    bool open = false;
    bool usable = false;
    KRecentEntry entry;
    const auto close = [&] {
        if (open && usable && !entry.path.isEmpty())
            entries->append(entry);
        open = false;
    };
    for (KMarkupScanner::Token token = scanner.next(); token != KMarkupScanner::End; token = scanner.next()) {
        if (token == KMarkupScanner::Broken) {
            usable = false;
        } else if (scanner.isNamed("bookmark")) {
            if (token == KMarkupScanner::EndTag) {
                close();
                continue;
            }
            // A bookmark that starts before the last one ended: the last one was cut short.
            open = true;
            QString href;
            usable = scanner.attribute("href", &href);
            entry.path = usable ? KFileUri::localPath(href) : QString();
            entry.usedMSecs = -1;
            for (const char* name : { "added", "modified", "visited" }) {
                const char* begin = nullptr;
                const char* end = nullptr;
                if (scanner.rawAttribute(name, &begin, &end))
                    entry.usedMSecs = std::max(entry.usedMSecs, parseTime(begin, end));
            }
            if (scanner.isSelfClosing())
                close();
        } else if (open && token == KMarkupScanner::StartTag && scanner.isNamed("mime-type")) {
            QString type;
            if (scanner.attribute("type", &type) && type == QLatin1String("inode/directory"))
                usable = false;
        }
    }
    return window.result();
}

} // namespace KRecentXbel
