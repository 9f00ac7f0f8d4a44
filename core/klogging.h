#pragma once

#include <QLoggingCategory>

// The engine's diagnostic categories ("QT_LOGGING_RULES=vaultkeep.*=true" shows them all).
Q_DECLARE_LOGGING_CATEGORY(vkBackup) // backing up: files a cycle skips, the copies' sums and modes
Q_DECLARE_LOGGING_CATEGORY(vkCleanUp) // deleting backups: the seven-day clean-up, clean-ups, orphans
Q_DECLARE_LOGGING_CATEGORY(vkMove) // moving the backup folder
Q_DECLARE_LOGGING_CATEGORY(vkSettings) // the settings file
