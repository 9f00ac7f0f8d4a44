#pragma once

#include <QLoggingCategory>

// Messages between the host and the module: window messages and the usage trace's delivery.
Q_DECLARE_LOGGING_CATEGORY(vkMessages)
