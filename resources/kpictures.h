#pragma once

// The compiled-in pictures, ":/Icons/Icons/<name>", painted by tools/picturegen.
namespace KPictures {

// Registers them with Qt's resource system. They live in a static library, whose resources
// register only when asked; call this before the first picture is loaded. Safe to call again,
// from any thread.
void registerResources();

} // namespace KPictures
