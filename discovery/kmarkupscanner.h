#pragma once

#include <QString>
#include <QVarLengthArray>

// Reads the tags of XML text one at a time without needing the document to be well formed, for
// files other programs rewrite at any moment: a broken tag is reported and skipped, and reading
// carries on at the next "<". Comments, processing instructions, declarations and CDATA sections
// are passed over. The text must outlive the scanner.
class KMarkupScanner
{
public:
    enum Token
    {
        StartTag,
        EndTag,
        Broken,
        End
    };

    KMarkupScanner(const char* begin, const char* end);

    Token next();
    // Where reading goes on.
    const char* position() const { return m_pos; }

    // Whether the current tag's name, without any namespace prefix, is `localName`.
    bool isNamed(const char* localName) const;
    bool isSelfClosing() const { return m_selfClosing; }

    // An attribute of the current start tag, found by its name without prefix, with its
    // references decoded. False when the tag has no such attribute or its value is malformed.
    bool attribute(const char* localName, QString* value) const;
    // The same attribute's bytes as written.
    bool rawAttribute(const char* localName, const char** begin, const char** end) const;
    // The text from the end of the current tag to the next tag, references decoded.
    bool text(QString* value) const;

private:
    struct Attribute
    {
        const char* nameBegin;
        const char* nameEnd;
        const char* valueBegin;
        const char* valueEnd;
    };

    Token readTag();
    Token broken(const char* at);
    void skipPast(const char* marker);

    const char* m_pos;
    const char* const m_end;
    const char* m_nameBegin = nullptr;
    const char* m_nameEnd = nullptr;
    bool m_selfClosing = false;
    QVarLengthArray<Attribute, 8> m_attributes;
};

namespace KMarkup {

// `[begin, end)`, UTF-8, with the five named references and numeric character references
// replaced. False for any other "&".
bool decode(const char* begin, const char* end, QString* out);

} // namespace KMarkup
