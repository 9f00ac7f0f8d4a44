#pragma once

class KConfig;
class KDesktopNotifications;
class KDiskFileManager;
class KDiskInfoThread;
class KFileServiceManager;
class KOffsiteService;
class KPlatform;

// What the views work with, handed down from the main widget (or a test) to every page, dialog
// and row, so that none of them reaches for a process-wide instance. The pointers outlive the
// views: the objects live as long as the plug-in.
struct KServices
{
    KPlatform* platform = nullptr;
    KFileServiceManager* engine = nullptr;
    KDiskFileManager* scanner = nullptr;
    KDiskInfoThread* monitor = nullptr;
    KConfig* config = nullptr;
    KDesktopNotifications* notifications = nullptr; // none: the tips show as panels
    KOffsiteService* offsite = nullptr;

    // The plug-in's own: for the main widget and the host's entry points alone.
    static KServices process();
};
