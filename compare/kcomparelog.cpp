#include "compare/kcomparelog.h"

Q_LOGGING_CATEGORY(lcCompare, "vaultkeep.compare", QtInfoMsg)
