#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;

// Tells which files in a set of folders were written and closed, renamed into place or created.
// Folders, not files, are watched: a program that saves by writing a new file and renaming it
// over the old one is seen too, and one watch serves every file of a folder.
class KFolderWatch : public QObject
{
    Q_OBJECT

public:
    explicit KFolderWatch(QObject* parent = nullptr);
    ~KFolderWatch() override;

    // False when the system gives no watcher at all.
    bool isValid() const { return m_fd >= 0; }
    // Watches `folder` (a link is not followed); false when it cannot be watched, `limitReached`
    // then tells whether the system's limit on watches is why.
    [[nodiscard]] bool addFolder(const QString& folder, bool* limitReached = nullptr);
    void clear();
    int folderCount() const { return int(m_folders.size()); }
    // How many folders one user may watch at most, as the system is set.
    static int systemLimit();

signals:
    // The full path of a file that changed.
    void fileChanged(const QString& path);

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QHash<int, QString> m_folders; // by watch descriptor
};
