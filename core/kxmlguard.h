#pragma once

#include <QByteArray>

// A look at XML text before a parser is let near it. Qt's document model parses recursively, one
// call per element level and per entity expansion, so a file nested deep enough ends the process
// with a stack overflow. The module's files have neither a document type declaration (whose
// entities could expand to anything) nor more than a few levels, so a text with either is refused
// before parsing.
namespace KXmlGuard {

// True when `content` has no document type declaration and no element nested deeper than
// `maxDepth` (the root is level 1). Found by a single pass over the bytes, without recursion.
bool isPlain(const QByteArray& content, int maxDepth);

} // namespace KXmlGuard
