#include "Widgets/main/kuilog.h"

Q_LOGGING_CATEGORY(vkUi, "vaultkeep.ui")
