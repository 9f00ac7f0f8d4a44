#include "core/klogging.h"

Q_LOGGING_CATEGORY(vkEngine, "vaultkeep.engine")
Q_LOGGING_CATEGORY(vkCleanUp, "vaultkeep.cleanup")
