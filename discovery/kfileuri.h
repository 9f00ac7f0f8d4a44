#pragma once

#include <QString>

// Local files named by "file:" URIs, as desktop programs write them in their recent-file lists.
namespace KFileUri {

// The file that `uri` names: "file:///...", "file://localhost/..." or "file:/...". Percent
// escapes are decoded to bytes and the bytes to a file name as Qt decodes local 8-bit names, so
// the name is the one Qt opens; every spelling of one file gives the same path. Empty for other
// schemes and hosts, relative paths, folders (a trailing "/") and names the local encoding
// cannot hold.
QString localPath(const QString& uri);

} // namespace KFileUri
