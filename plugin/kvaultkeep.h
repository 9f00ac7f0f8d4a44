#pragma once

class QWidget;

// The two functions the host finds by name in libKVaultkeep.so. Everything else of the library
// is hidden.
extern "C" {

// The plug-in's window, made on the first call and raised; later calls return the same window.
// The host shows it.
__attribute__((visibility("default"))) QWidget* createFrame();

// Saves the protection database and deletes the window, if there is one. It never makes one.
// The host may unload the library afterwards; the module's threads stop as it goes.
__attribute__((visibility("default"))) void releaseKVaultkeep();
}
