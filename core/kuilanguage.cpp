#include "kuilanguage.h"

#include <atomic>

namespace KUiLanguage {

namespace {
// Set before the first widget, read from any thread after.
std::atomic<Language> g_current { Language::Chinese };
} // namespace

Language current()
{
    return g_current.load(std::memory_order_relaxed);
}

void setCurrent(Language language)
{
    g_current.store(language, std::memory_order_relaxed);
}

} // namespace KUiLanguage
