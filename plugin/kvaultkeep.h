#pragma once

class QWidget;

// The two functions the host finds by name in libKVaultkeep.so. Everything else of the library
// is hidden.
extern "C" {

// The plug-in's window, made on the first call and raised; later calls return the same window.
// The host shows it.
__attribute__((visibility("default"))) QWidget* createFrame();

// Saves the protection database, stops the module's threads and deletes the window, if there is
// one. It never makes one. The host may unload the library afterwards; createFrame() starts the
// threads again.
__attribute__((visibility("default"))) void releaseKVaultkeep();
}

namespace KVaultkeepModule {

// The start of unloading: stops the scanner and the disk monitor, then deletes the windows the
// host left, before any static object of the library is destroyed (a thread must not meet an
// object that is gone). Also runs as the application is destroyed, when that comes first. Does
// nothing unless the module's objects exist.
void shutDown();

} // namespace KVaultkeepModule
