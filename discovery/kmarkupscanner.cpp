#include "discovery/kmarkupscanner.h"

#include <algorithm>
#include <cstring>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameChar(char c)
{
    return !isSpace(c) && c != '>' && c != '/' && c != '<' && c != '=' && c != '"' && c != '\'';
}

const char* find(const char* from, const char* end, char c)
{
    return from < end ? static_cast<const char*>(std::memchr(from, c, size_t(end - from))) : nullptr;
}

const char* find(const char* from, const char* end, const char* text)
{
    const size_t length = std::strlen(text);
    for (const char* at = find(from, end, text[0]); at; at = find(at + 1, end, text[0])) {
        if (size_t(end - at) < length)
            return nullptr;
        if (std::memcmp(at, text, length) == 0)
            return at;
    }
    return nullptr;
}

bool startsWith(const char* at, const char* end, const char* text)
{
    const size_t length = std::strlen(text);
    return size_t(end - at) >= length && std::memcmp(at, text, length) == 0;
}

// Whether `[begin, end)`, without the part up to its last ":", is `localName`.
bool localNameIs(const char* begin, const char* end, const char* localName)
{
    for (const char* c = end; c > begin; --c) {
        if (c[-1] == ':') {
            begin = c;
            break;
        }
    }
    const size_t length = std::strlen(localName);
    return size_t(end - begin) == length && std::memcmp(begin, localName, length) == 0;
}

bool appendCodePoint(uint codePoint, QByteArray* out)
{
    if (codePoint == 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return false;
    if (codePoint < 0x80) {
        out->append(char(codePoint));
    } else if (codePoint < 0x800) {
        out->append(char(0xC0 | (codePoint >> 6)));
        out->append(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->append(char(0xE0 | (codePoint >> 12)));
        out->append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out->append(char(0x80 | (codePoint & 0x3F)));
    } else {
        out->append(char(0xF0 | (codePoint >> 18)));
        out->append(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out->append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out->append(char(0x80 | (codePoint & 0x3F)));
    }
    return true;
}

bool appendReference(const char* begin, const char* end, QByteArray* out)
{
    const QByteArray name = QByteArray::fromRawData(begin, int(end - begin));
    if (name == "amp")
        out->append('&');
    else if (name == "lt")
        out->append('<');
    else if (name == "gt")
        out->append('>');
    else if (name == "quot")
        out->append('"');
    else if (name == "apos")
        out->append('\'');
    else if (name.startsWith("#x") || name.startsWith("#X")) {
        bool ok = false;
        const uint codePoint = name.mid(2).toUInt(&ok, 16);
        return ok && name.size() > 2 && appendCodePoint(codePoint, out);
    } else if (name.startsWith('#')) {
        bool ok = false;
        const uint codePoint = name.mid(1).toUInt(&ok, 10);
        return ok && name.size() > 1 && appendCodePoint(codePoint, out);
    } else {
        return false;
    }
    return true;
}

} // namespace

KMarkupScanner::KMarkupScanner(const char* begin, const char* end)
    : m_text(std::in_place, begin, end)
    , m_window(&*m_text)
    , m_pos(begin)
    , m_end(end)
    , m_final(true)
{ }

KMarkupScanner::KMarkupScanner(KReadWindow* window)
    : m_window(window)
    , m_pos(window->begin())
    , m_end(window->end())
    , m_final(false)
{ }

bool KMarkupScanner::refill(const char* keep)
{
    if (m_final)
        return false;
    m_final = !m_window->more(keep);
    m_pos = m_window->begin();
    m_end = m_window->end();
    return !m_final;
}

KMarkupScanner::Token KMarkupScanner::next()
{
    m_attributes.clear();
    m_selfClosing = false;
    m_nameBegin = m_nameEnd = nullptr;
    for (;;) {
        const char* open = find(m_pos, m_end, '<');
        if (!open) {
            if (refill(m_end))
                continue;
            m_pos = m_end;
            return End;
        }
        m_pos = open;
        // Enough bytes to tell the kinds below apart ("<![CDATA[" is the longest). A refill moves
        // the window's bytes, whether or not any came.
        if (m_end - open < 9 && !m_final) {
            refill(open);
            continue;
        }
        if (startsWith(open, m_end, "<!--")) {
            skipPast("-->");
        } else if (startsWith(open, m_end, "<![CDATA[")) {
            skipPast("]]>");
        } else if (startsWith(open, m_end, "<?")) {
            skipPast("?>");
        } else if (startsWith(open, m_end, "<!")) {
            skipPast(">");
        } else {
            if (const std::optional<Token> token = readTag())
                return *token;
            refill(open); // and read the tag again, whole
        }
    }
}

void KMarkupScanner::skipPast(const char* marker)
{
    const size_t length = std::strlen(marker);
    const char* from = m_pos + 1;
    for (;;) {
        if (const char* at = find(from, m_end, marker)) {
            m_pos = at + length;
            return;
        }
        // Only a marker the window's end cuts needs its first bytes kept.
        if (!refill(size_t(m_end - from) >= length ? m_end - (length - 1) : from)) {
            m_pos = m_end;
            return;
        }
        from = m_pos;
    }
}

KMarkupScanner::Token KMarkupScanner::broken(const char* at)
{
    m_pos = at;
    m_attributes.clear();
    m_nameBegin = m_nameEnd = nullptr;
    return Broken;
}

std::optional<KMarkupScanner::Token> KMarkupScanner::readTag()
{
    m_attributes.clear();
    const char* p = m_pos + 1;
    const bool closing = p < m_end && *p == '/';
    if (closing)
        ++p;
    m_nameBegin = p;
    while (p < m_end && isNameChar(*p))
        ++p;
    m_nameEnd = p;
    if (p == m_end)
        return cutOff(p);
    if (m_nameBegin == m_nameEnd)
        return broken(p);
    if (closing) {
        while (p < m_end && isSpace(*p))
            ++p;
        if (p == m_end)
            return cutOff(p);
        if (*p != '>')
            return broken(p);
        m_pos = p + 1;
        return EndTag;
    }
    for (;;) {
        while (p < m_end && isSpace(*p))
            ++p;
        if (p == m_end)
            return cutOff(p);
        if (*p == '>') {
            m_pos = p + 1;
            return StartTag;
        }
        if (*p == '/') {
            if (p + 1 == m_end)
                return cutOff(p + 1);
            if (p[1] != '>')
                return broken(p + 1);
            m_selfClosing = true;
            m_pos = p + 2;
            return StartTag;
        }
        Attribute attribute;
        attribute.nameBegin = p;
        while (p < m_end && isNameChar(*p))
            ++p;
        attribute.nameEnd = p;
        while (p < m_end && isSpace(*p))
            ++p;
        if (p == m_end)
            return cutOff(p);
        if (attribute.nameBegin == attribute.nameEnd || *p != '=')
            return broken(p);
        ++p;
        while (p < m_end && isSpace(*p))
            ++p;
        if (p == m_end)
            return cutOff(p);
        if (*p != '"' && *p != '\'')
            return broken(p);
        attribute.valueBegin = p + 1;
        attribute.valueEnd = find(attribute.valueBegin, m_end, *p);
        if (!attribute.valueEnd)
            return cutOff(m_end);
        // "<" never appears in a value: a quote is missing and the value ran into the next tag.
        if (const char* open = find(attribute.valueBegin, attribute.valueEnd, '<'))
            return broken(open);
        p = attribute.valueEnd + 1;
        if (p < m_end && !isSpace(*p) && *p != '>' && *p != '/')
            return broken(p);
        m_attributes.append(attribute);
    }
}

bool KMarkupScanner::isNamed(const char* localName) const
{
    return m_nameBegin && localNameIs(m_nameBegin, m_nameEnd, localName);
}

bool KMarkupScanner::rawAttribute(const char* localName, const char** begin, const char** end) const
{
    for (const Attribute& attribute : m_attributes) {
        if (localNameIs(attribute.nameBegin, attribute.nameEnd, localName)) {
            *begin = attribute.valueBegin;
            *end = attribute.valueEnd;
            return true;
        }
    }
    return false;
}

bool KMarkupScanner::attribute(const char* localName, QString* value) const
{
    const char* begin = nullptr;
    const char* end = nullptr;
    return rawAttribute(localName, &begin, &end) && KMarkup::decode(begin, end, value);
}

bool KMarkupScanner::text(QString* value) const
{
    const char* end = find(m_pos, m_end, '<');
    return KMarkup::decode(m_pos, end ? end : m_end, value);
}

namespace KMarkup {

bool decode(const char* begin, const char* end, QString* out)
{
    const char* amp = find(begin, end, '&');
    if (!amp) {
        *out = QString::fromUtf8(begin, int(end - begin));
        return true;
    }
    QByteArray bytes;
    bytes.reserve(int(end - begin));
    while (amp) {
        bytes.append(begin, int(amp - begin));
        const char* semicolon = find(amp + 1, end, ';');
        if (!semicolon || !appendReference(amp + 1, semicolon, &bytes))
            return false;
        begin = semicolon + 1;
        amp = find(begin, end, '&');
    }
    bytes.append(begin, int(end - begin));
    *out = QString::fromUtf8(bytes);
    return true;
}

} // namespace KMarkup
