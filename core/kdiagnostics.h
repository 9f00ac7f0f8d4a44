#pragma once

#include <QLoggingCategory>

// The engine's diagnostics: what a cycle skipped or could not do, for whoever reads the log
// ("vaultkeep.engine"; QT_LOGGING_RULES selects it).
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
