#pragma once

#include <QString>
#include <QStringList>

// Faults made for real, below the module: a library preloaded into the test process stands
// between it and the C library's file calls (kfaultshim_preload.cpp). Writes can be made to fail
// as on a full disk, a file can change while it is read, and flushes and renames can be logged.
namespace KFaultShim {

// Starts the process again with the library preloaded, unless it is; call it first in main().
void preloadInto(char** argv);
bool isLoaded();

// Writes to the files below `folder` fail with "no space left on device" once `roomLeft` bytes
// were written there (the write that crosses it is cut short), as on a disk filling up; creating
// empty files still succeeds. With `folderOnly`, files in its subfolders are not concerned. An
// empty folder ends it.
void setFullFolder(const QString& folder, qint64 roomLeft = 0, bool folderOnly = false);

// Writes to the files below `folder` report success but store their first byte changed, as a
// failing disk or memory would. An empty folder ends it.
void setCorruptFolder(const QString& folder);

enum class Change
{
    Emptied = 1,
    Grown = 2,
    Rewritten = 3, // same size, other content, a new modification time
};
// The next read of the file at `path` (read() or an in-kernel copy) changes it first, once.
void changeOnFirstRead(const QString& path, Change change);

// Flushes (fsync, fdatasync, syncfs) of files below `folder` fail with an I/O error, as on a disk
// that refused a write. An empty folder ends it.
void failFlushesBelow(const QString& folder);

// The process is killed right after the `count`-th successful call `call` ("fsync", "fdatasync",
// "syncfs", "rename" or "unlink") on a path that contains `pathPart`.
void killAfter(const QString& call, const QString& pathPart, int count = 1);

// Clones (FICLONE) and copy_file_range calls fail with `error`, as on a file system without
// them (EOPNOTSUPP) or one that refuses a file (EINVAL); 0 ends it.
void refuseInKernelCopies(int error);

// Logs flushes (fsync, fdatasync, syncfs), successful renames (and links that name an unnamed
// file), removals, and in-kernel copies ("clone", "copy_file_range") by their target, as
// "<call> <path>".
void startLog();
QStringList takeLog();
// Whether such a log has a flush of a file in the folder of `path` before the rename onto `path`.
bool flushedBeforeRename(const QStringList& calls, const QString& path);

} // namespace KFaultShim

// The main() of a test whose process needs the library preloaded.
#define VK_SHIM_TEST_MAIN(TestClass)                                                                         \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        KFaultShim::preloadInto(argv);                                                                       \
        QCoreApplication app(argc, argv);                                                                    \
        TestClass test;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
