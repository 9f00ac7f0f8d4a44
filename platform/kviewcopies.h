#pragma once

#include <QString>

#include <functional>

// Read-only copies of backed-up versions for the desktop's programs to show: nothing such a
// program does can touch a backup. Each copy is mode 0400 in a folder of its own (0700) below one
// private folder in the system's folder for temporary files, which goes when the module does.
namespace KViewCopies {

// Copies the regular file `source` under the file name `name`, keeping its modification time;
// the copy's path, or empty on failure (nothing is left then). Streams, and stops when `stop`
// says so. Any thread.
QString make(const QString& source, const QString& name, const std::function<bool()>& stop = {});

// The private folder; empty while no copy exists.
QString folder();

// Removes the private folder with every copy in it.
void removeAll();

} // namespace KViewCopies
