#pragma once

#include <QLoggingCategory>

// Why a comparison, a document's text or a private copy could not be made.
Q_DECLARE_LOGGING_CATEGORY(lcCompare)
