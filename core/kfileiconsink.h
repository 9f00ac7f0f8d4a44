#pragma once

#include <QString>

// Where the engine reports the files it finds, so that the user interface can learn the icon of
// each file type while a file of that type exists. The engine links no widgets: the icon cache
// of the user interface installs itself here, and without it reports go nowhere.
class IFileIconSink
{
public:
    virtual ~IFileIconSink();

    // Called from any thread; must return promptly.
    virtual void registerFile(const QString& path) = 0;
};

namespace KFileIconSink {

// Makes `sink` (not owned) the receiver of every report; it replaces any receiver before it.
void install(IFileIconSink* sink);
// Removes `sink` if it is the installed receiver, after every report being delivered to it ended.
void uninstall(IFileIconSink* sink);
IFileIconSink* installed();

// Hands `path` to the installed receiver; nothing happens while none is installed.
void registerFile(const QString& path);

} // namespace KFileIconSink
