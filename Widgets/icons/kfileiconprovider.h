#pragma once

#include "core/kfileiconsink.h"

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <mutex>

// The icons of file types, learnt by suffix while files of each type exist, because the rows
// mostly show files that are gone or backups under other names. The first icon stored for a
// suffix is kept. A type without a picture of the product's own takes the desktop theme's icon
// for its MIME type (or, lacking one, for its family of types), known from the name alone; a
// file of a type the theme has none for takes the platform's icon of the file, and a name of an
// unknown type the unknown-file picture.
//
// registerFile() may be called from any thread; the platform icon is asked on the GUI thread
// only. A call from another thread marks the suffix pending and queues the lookup to the GUI
// thread; a call on the GUI thread looks the icon up at once. iconForFile() is for the GUI thread.
class KFileIconProvider final : public QObject, public IFileIconSink
{
    Q_OBJECT

public:
    // Installs itself as the engine's icon sink. Once the application exists it lives on the GUI
    // thread, whichever thread made it; the main window makes it there at start-up.
    explicit KFileIconProvider(QObject* parent = nullptr);
    ~KFileIconProvider() override;

    // The provider of the process.
    static KFileIconProvider* instance();

    void registerFile(const QString& path) override;
    // The icon learnt for the suffix of `fileName` (which need not exist), else the unknown-file
    // icon, which is not stored.
    QIcon iconForFile(const QString& fileName) const;
    bool hasIcon(const QString& suffix) const;

private slots:
    void learnPending();

private:
    static QString suffixOf(const QString& path);
    void learn(const QString& path, const QString& suffix);
    // The theme's icon for the type named by the suffix of `fileName`; null when it has none.
    static QIcon themeIcon(const QString& fileName);

    mutable std::mutex m_mutex;
    QHash<QString, QIcon> m_icons;
    // Suffixes whose lookup waits for the GUI thread, and the paths to look up.
    QSet<QString> m_pendingSuffixes;
    QStringList m_pendingPaths;
    QThread* m_guiThread;
    QFileIconProvider m_platformIcons; // GUI thread only
    mutable QIcon m_unknownIcon; // GUI thread only; never stored under a suffix
    mutable QHash<QString, QIcon> m_themeIcons; // GUI thread only; by suffix, null for none
    Q_DISABLE_COPY(KFileIconProvider)
};
