#include "Widgets/kuilog.h"

Q_LOGGING_CATEGORY(vkUi, "vaultkeep.ui")
