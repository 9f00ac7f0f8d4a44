#pragma once

#include <QByteArray>
#include <QString>

// Real documents for the demo's office files and pictures, so that comparing two versions shows
// something: a bid's business part (docx), a bill of quantities (xlsx), a rendering (png), each a
// little different from one version to the next.
namespace KDemoDocuments {

// Version `version` of `path` when its suffix is one of those; empty otherwise.
QByteArray content(const QString& path, int version);

} // namespace KDemoDocuments
