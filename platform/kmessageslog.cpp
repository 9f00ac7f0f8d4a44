#include "platform/kmessageslog.h"

Q_LOGGING_CATEGORY(vkMessages, "vaultkeep.messages")
