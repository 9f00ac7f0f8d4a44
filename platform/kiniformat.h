#pragma once

#include <QByteArray>
#include <QSettings>

// The text of the emulated hive and of the settings file: INI as Qt writes it, read and written
// by the module itself so that
// - a write that fails (a full disk) is noticed: the text is flushed to disk and checked before
//   the new file replaces the old one, and on failure the old file stays and the changes stay
//   pending, to be written again by the next sync;
// - the file is read as UTF-8, whoever wrote it;
// - a backslash at the end of a line belongs to its value (it does not continue the line).
// Two dialects: the registry's, whose section and key names match whatever their case in the
// file (they are folded to lower case as they are read) and whose values are plain texts (a
// comma is part of a value); and the settings file's, case-sensitive, with Qt's lists (items
// separated by unquoted commas, an empty list written as "@Invalid()").
// Qt's escapes (%XX and %UXXXX in names, \\ \" \n \xHHHH in values, quoted values, @@) are read
// and written as Qt does, so files written by either read alike: what the module writes is
// ASCII, which any reader of Qt's INI files reads right, while text others wrote in UTF-8 is read
// as such.
namespace KIniFormat {

enum class Dialect
{
    Registry,
    Settings,
};

// The QSettings format of a dialect.
QSettings::Format format(Dialect dialect);

// The two halves, for tests.
QSettings::SettingsMap parse(const QByteArray& text, Dialect dialect);
QByteArray serialize(const QSettings::SettingsMap& map);

} // namespace KIniFormat
