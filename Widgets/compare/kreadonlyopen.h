#pragma once

#include <QString>

#include <functional>

class KPlatform;
class QWidget;

// Opens a version for looking only: a private read-only copy of its backup copy, made on a worker
// thread, handed to the desktop's program for its type. The backup itself is never given out.
namespace KReadOnlyOpen {

// Copies `versionPath` as `fileName` and opens the copy; a failure is told in a box over
// `parent`'s window. `finished` runs afterwards on the GUI thread with whether a program was
// started, unless `parent` went meanwhile.
void open(QWidget* parent, KPlatform* platform, const QString& versionPath, const QString& fileName,
    const std::function<void(bool)>& finished = {});

} // namespace KReadOnlyOpen
