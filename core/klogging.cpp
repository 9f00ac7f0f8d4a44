#include "core/klogging.h"

Q_LOGGING_CATEGORY(vkBackup, "vaultkeep.backup")
Q_LOGGING_CATEGORY(vkCleanUp, "vaultkeep.cleanup")
Q_LOGGING_CATEGORY(vkMove, "vaultkeep.move")
Q_LOGGING_CATEGORY(vkSettings, "vaultkeep.settings")
