#pragma once

#include <QList>
#include <QString>

// One usable drive: a fixed drive with an NTFS-like or FAT32 file system.
struct KDriveRecord
{
    QString root;
    QString typeText;
    QString fileSystem; // "NTFS", "FAT32" or "OTHER_FORMAT"
    quint32 totalMiB = 0;
    quint32 freeMiB = 0;
};

// Helpers shared by the engine and the user interface. Any thread may call them.
namespace KCommon {

// `dir`, a separator and `name`, with doubled separators collapsed once, left to right. Blanks
// are kept: they may end a file name.
QString joinPath(const QString& dir, const QString& name);
// The same rule with an explicit separator, for paths of the other system.
QString joinPath(const QString& dir, const QString& name, QChar separator);

// The folder that holds every backup copy, with a trailing separator.
QString backupDirectory();
// The name of that folder under the backup path.
QString backupFolderName();
// The host's per-user data folder, with a trailing separator; created when missing.
QString hostDataFolder();
QString systemDriveRoot();

// "512B", "4KB", "1.50MB", "1.5GB": the records' sizes, and the Chinese interface's.
QString formatSize(qint64 bytes);
// A size as the interface shows it: formatSize() in Chinese, "1.5 MB" in English.
QString displaySize(qint64 bytes);
// Bytes of the files below `path`; with `onlyReadOnly`, only of read-only files.
qint64 folderSize(const QString& path, bool onlyReadOnly);
// Removes everything inside `path`, read-only files included; false when anything stayed.
[[nodiscard]] bool clearFolder(const QString& path);

// The product's name, the title of its windows.
QString productName();

// A picture's path (a skin file, or compiled in as ":/Icons/Icons/<name>") in the interface's
// language: in English, <folder>/en/<name> where the picture carries words and so has one.
QString pictureInUiLanguage(const QString& path);
// A skin file's path, in the interface's language.
QString skinImagePath(const QString& name);
QString skinBackgroundPath();

// The drive list. One list for the process, rebuilt by refreshDrives(); drives() rebuilds it
// only while it is empty. Callers always get a copy, so threads never share the records.
void refreshDrives();
QList<KDriveRecord> drives();
// The root of the first listed drive with more than `minimumMiB` free, or empty.
QString firstDriveWithFreeSpace(qint64 minimumMiB);

QString driveTypeText(const QString& root);
// 2 for NTFS-like, 1 for FAT32, 0 for anything else.
int fileSystemKind(const QString& root);
QStringList logicalDriveRoots();
[[nodiscard]] bool diskSpace(const QString& root, quint64* freeBytes, quint64* totalBytes);

// Lets the GUI thread handle its events during a long loop; does nothing on other threads and
// at most every few milliseconds, so that tight loops stay tight.
void keepResponsive();

} // namespace KCommon
