#pragma once

#include "core/kfiletypemanager.h"

#include <optional>

// The lists the mis-edit page shows across the kinds.
enum class KListPage : int
{
    Today,
    Recent,
    SelfBackup,
};

// Which list the mis-edit page shows: the files of one kind, or one of the lists across kinds.
// It travels as one int in the engine's signals and indexes the page's labels, the kinds first;
// these are the only conversions between the two.
namespace KFileList {

constexpr int of(FileTypeKind kind)
{
    return int(kind);
}
constexpr int of(KListPage page)
{
    return KFileTypeManager::KindCount + int(page);
}
// No list is chosen.
constexpr int None = of(KListPage::SelfBackup) + 1;

// The kind whose files `list` holds; none for the lists across kinds.
constexpr std::optional<FileTypeKind> kindOf(int list)
{
    if (list >= 0 && list < KFileTypeManager::KindCount)
        return FileTypeKind(list);
    return std::nullopt;
}

} // namespace KFileList
