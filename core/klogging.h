#pragma once

#include <QLoggingCategory>

// The engine's diagnostic categories; the README lists every category of the module.
Q_DECLARE_LOGGING_CATEGORY(vkEngine) // backing up, the database and the settings file
Q_DECLARE_LOGGING_CATEGORY(vkCleanUp) // deleting backups: the seven-day clean-up, clean-ups, orphans
