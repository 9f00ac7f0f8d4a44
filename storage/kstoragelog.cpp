#include "storage/kstoragelog.h"

Q_LOGGING_CATEGORY(vkStorage, "vaultkeep.storage")
