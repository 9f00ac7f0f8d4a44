#pragma once

// Included first into every source of the module (cmake/HeapStringLiterals.cmake).
//
// Qt's QStringLiteral makes a string whose characters stay in the program's read-only data, and
// copies of it share them. Qt keeps copies of some strings it is given in caches that live as
// long as the application: font families, settings keys and values. Once the host has unloaded
// the plug-in's library, such a copy would point into memory that is gone. So the module's
// literals are made on the heap: a copy may outlive the library.

#include <QtCore/qstring.h>

#undef QStringLiteral
#define QStringLiteral(str) QString::fromUtf16(u"" str, int(sizeof(u"" str) / sizeof(char16_t)) - 1)
