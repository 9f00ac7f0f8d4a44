#include "core/kxmlguard.h"

#include <cstring>

namespace {

// The position just after the first `end` at or after `from`; -1 when there is none.
int after(const QByteArray& content, int from, const char* end)
{
    const int found = content.indexOf(end, from);
    return found < 0 ? -1 : found + int(std::strlen(end));
}

// The position just after the '>' that closes the tag starting at `from`, skipping quoted
// attribute values; -1 when the text ends first. `selfClosing` tells whether it ended with "/>".
int tagEnd(const QByteArray& content, int from, bool* selfClosing)
{
    char quote = 0;
    for (int i = from; i < content.size(); ++i) {
        const char c = content.at(i);
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            *selfClosing = i > from && content.at(i - 1) == '/';
            return i + 1;
        }
    }
    return -1;
}

} // namespace

namespace KXmlGuard {

bool isPlain(const QByteArray& content, int maxDepth)
{
    int depth = 0;
    int at = 0;
    while (at >= 0 && at < content.size()) {
        const int open = content.indexOf('<', at);
        if (open < 0)
            break;
        const char* rest = content.constData() + open + 1;
        const int left = content.size() - open - 1;
        if (left >= 3 && std::strncmp(rest, "!--", 3) == 0) {
            at = after(content, open + 4, "-->");
        } else if (left >= 8 && std::strncmp(rest, "![CDATA[", 8) == 0) {
            at = after(content, open + 9, "]]>");
        } else if (left >= 1 && (rest[0] == '!')) {
            return false; // a document type declaration: not one of the module's formats
        } else if (left >= 1 && rest[0] == '?') {
            at = after(content, open + 2, "?>");
        } else if (left >= 1 && rest[0] == '/') {
            bool selfClosing = false;
            at = tagEnd(content, open + 2, &selfClosing);
            --depth;
        } else {
            bool selfClosing = false;
            at = tagEnd(content, open + 1, &selfClosing);
            if (!selfClosing && ++depth > maxDepth)
                return false;
        }
    }
    return true;
}

} // namespace KXmlGuard
