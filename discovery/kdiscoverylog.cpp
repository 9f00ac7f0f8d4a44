#include "discovery/kdiscoverylog.h"

Q_LOGGING_CATEGORY(lcDiscovery, "vaultkeep.discovery", QtInfoMsg)
