#pragma once

#include <QString>

// Path conventions of the platform. The design keys files by lower-cased paths with backslashes;
// that is right where the file system ignores case and wrong where it does not.
namespace KPaths {

// The separator of native paths.
QChar nativeSeparator();

// A path as a lookup key: lower-cased where the file system ignores case, unchanged otherwise.
QString foldCase(const QString& path);

// `path` with its drive letter in upper case; unchanged where paths have no drive letters.
QString upperCaseDriveLetter(const QString& path);

// A relative path written with backslashes (as the product catalog writes them) in native form.
QString fromWindowsRelative(const QString& relative);

// `path` with "/" and "\" turned into the native separator where both mean a separator.
QString toNativeSeparators(const QString& path);

// A short, readable name for a drive root: "D" for "D:\", the last folder name for "/home/ann/".
QString driveShortName(const QString& root);

// The file name of a shared library called `baseName`: "libPathmark.so" for "Pathmark".
QString libraryFileName(const QString& baseName);

} // namespace KPaths
