#include "core/kdiagnostics.h"

Q_LOGGING_CATEGORY(lcEngine, "vaultkeep.engine")
