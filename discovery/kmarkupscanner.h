#pragma once

#include "discovery/kreadwindow.h"

#include <QString>
#include <QVarLengthArray>

#include <optional>

// Reads the tags of XML text one at a time without needing the document to be well formed, for
// files other programs rewrite at any moment: a broken tag is reported and skipped, and reading
// carries on at the next "<". Comments, processing instructions, declarations and CDATA sections
// are passed over. Reads text in memory, which must outlive the scanner, or a file through a
// window, holding no more of it than one tag needs.
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
    explicit KMarkupScanner(KReadWindow* window);

    // The current tag's name and attributes stay valid until the next call.
    Token next();

    // Whether the current tag's name, without any namespace prefix, is `localName`.
    bool isNamed(const char* localName) const;
    bool isSelfClosing() const { return m_selfClosing; }

    // An attribute of the current start tag, found by its name without prefix, with its
    // references decoded. False when the tag has no such attribute or its value is malformed.
    bool attribute(const char* localName, QString* value) const;
    // The same attribute's bytes as written.
    bool rawAttribute(const char* localName, const char** begin, const char** end) const;
    // The text from the end of the current tag to the next tag, references decoded. Only for
    // text held whole in memory.
    bool text(QString* value) const;

private:
    struct Attribute
    {
        const char* nameBegin;
        const char* nameEnd;
        const char* valueBegin;
        const char* valueEnd;
    };

    // Nothing when the tag runs past the window's end and more may come.
    std::optional<Token> readTag();
    Token broken(const char* at);
    std::optional<Token> cutOff(const char* at)
    {
        return m_final ? std::optional<Token>(broken(at)) : std::nullopt;
    }
    void skipPast(const char* marker);
    // Reads on, keeping the bytes from `keep`; reading goes on at the window's start.
    bool refill(const char* keep);

    std::optional<KReadWindow> m_text;
    KReadWindow* const m_window;
    const char* m_pos;
    const char* m_end;
    bool m_final; // nothing more comes after m_end
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
