#pragma once

#include <QLoggingCategory>

// The user interface's diagnostics.
Q_DECLARE_LOGGING_CATEGORY(vkUi)
