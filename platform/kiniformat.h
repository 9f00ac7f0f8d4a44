#pragma once

#include <QByteArray>
#include <QHash>
#include <QSettings>
#include <QVector>

// The text of the emulated hive and of the settings file: INI as Qt writes it, read and edited by
// the module itself. The hive belongs to every program of the user, so the module keeps every
// byte it does not understand: the text is parsed as bytes, line by line, and a write changes
// only the lines of the keys it writes (new keys go to the end of their section, or to a new
// section at the end). A line that is not UTF-8, holds a NUL byte or is no INI at all is kept as
// it is and not read; so is every line of a section whose name cannot be read. A backslash at the
// end of a line belongs to its value (it does not continue the line).
// Two dialects: the registry's, whose section and key names match whatever their case in the
// file (they are folded to lower case as they are read) and whose values are plain texts (a comma
// is part of a value); and the settings file's, case-sensitive, with Qt's lists (items separated
// by unquoted commas, an empty list written as "@Invalid()").
// Qt's escapes (%XX and %UXXXX in names, \\ \" \n \xHHHH in values, quoted values, @@) are read
// and written as Qt does, so files written by either read alike: what the module writes is ASCII,
// which any reader of Qt's INI files reads right, while text others wrote in UTF-8 is read as such.
namespace KIniFormat {

enum class Dialect
{
    Registry,
    Settings,
};

// One change a write makes: a key ("group/name") set to a value, or removed together with every
// key below it (an empty key removes every key the text holds).
struct Change
{
    QString key;
    QVariant value;
    bool remove = false;
};

class Document
{
public:
    // Reads `text`. False, with an empty document, when nothing in it reads as INI (binary data,
    // NUL bytes that a crash can leave, another text encoding): such a file is no settings file
    // the module may add to. An empty text is an empty document.
    [[nodiscard]] bool parse(const QByteArray& text, Dialect dialect);

    const QByteArray& text() const { return m_text; }
    // The keys read, as "group/name"; where a key is written twice the last one counts, as in Qt.
    const QSettings::SettingsMap& values() const { return m_values; }

    // The text with `changes` made, in order. Each line of a key gets the new value (its name and
    // line end stay as they were); a removed key's lines go; every other byte stays where it was. The time
    // taken grows with the text's length, not faster.
    QByteArray edited(const QVector<Change>& changes) const;

    // How adopt() took a text on.
    enum class Adopted
    {
        InPlace, // the changes only gave keys it held new values: their lines were moved, not read
        ReadAgain, // the whole text was read
        Unreadable, // it does not read as INI (as with parse(), the document is empty)
    };
    // Makes this the document of `text`, which edited(changes) gave. A file of thousands of keys
    // whose counter changed is not read again: only the changed lines are, and the others move.
    Adopted adopt(const QByteArray& text, const QVector<Change>& changes, Dialect dialect);

private:
    struct KeyLine
    {
        int begin = 0; // the line
        int valueBegin = 0; // after "=" and the blanks that follow it
        int end = 0; // before the line break
        int next = 0; // after the line break
    };
    // Where a new key of a section goes: after the last line of its last block that is not blank
    // or a comment.
    struct SectionEnd
    {
        int at = 0;
        bool needsLineBreak = false; // that line is the last one and has no line break
    };

    QByteArray m_text;
    QSettings::SettingsMap m_values;
    QHash<QString, QVector<KeyLine>> m_lines;
    QHash<QString, SectionEnd> m_sectionEnds;
    QByteArray m_lineBreak = "\n";
};

// `key` and every key below it in `map`, in order; an empty key stands for all of them.
QStringList keyAndBelow(const QSettings::SettingsMap& map, const QString& key);

// The keys of `text` (empty when it does not read as INI).
QSettings::SettingsMap parse(const QByteArray& text, Dialect dialect);

} // namespace KIniFormat
