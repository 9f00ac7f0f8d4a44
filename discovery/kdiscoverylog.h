#pragma once

#include <QLoggingCategory>

// What discovery leaves out and why, a line each: lists too large to read, special files named
// where a list or a document should be.
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
