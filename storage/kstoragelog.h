#pragma once

#include <QLoggingCategory>

// Moving the backup folder and the storage threads.
Q_DECLARE_LOGGING_CATEGORY(vkStorage)
