#pragma once

#include <QObject>
#include <QStringList>

#include <shared_mutex>

// The kind of a protected file. The values are stored in the protection database and used as
// the index of the engine's five collections, so they never change.
enum class FileTypeKind : int
{
    Pricing = 0,
    Civil = 1,
    Rebar = 2,
    Installation = 3,
    Other = 4,
    Unknown = 8, // not a protected kind
};

// The extensions of one kind, without dots, each held once (letter case ignored) in the
// spelling of its first registration, in registration order.
class KFileTypeObject final : public QObject
{
    Q_OBJECT

public:
    explicit KFileTypeObject(QObject* parent = nullptr);

    // False when the extension is empty or already held.
    bool addFileExt(const QString& extension);
    bool contains(const QString& extension) const;
    QStringList fileExts() const { return m_fileExts; }

private:
    QStringList m_fileExts;
};

// The process-wide table from file extension to kind, filled from the product catalog.
// Lists only grow. The catalog is read on the scanner thread while other threads classify,
// so every access goes through one read-write lock.
class KFileTypeManager final : public QObject
{
    Q_OBJECT

public:
    explicit KFileTypeManager(QObject* parent = nullptr);

    static KFileTypeManager* instance();

    // Adds the comma-separated extensions of `text` to `kind` (0 to 4); blanks around entries
    // and empty entries are ignored. False, and nothing added, for any other kind.
    bool addFileExts(int kind, const QString& text);
    // The kind of a suffix as QFileInfo::suffix() gives it, letter case ignored; 8 when no
    // kind holds it. An extension held by several kinds goes to the first of Pricing, Other,
    // Civil, Rebar, Installation.
    int fileTypeOfSuffix(const QString& suffix) const;
    QStringList fileExts(int kind) const;

    static constexpr int KindCount = 5;

private:
    const KFileTypeObject* objectOf(int kind) const;
    KFileTypeObject* objectOf(int kind);

    mutable std::shared_mutex m_lock;
    // Declared in classification order.
    KFileTypeObject m_pricing;
    KFileTypeObject m_other;
    KFileTypeObject m_civil;
    KFileTypeObject m_rebar;
    KFileTypeObject m_installation;

    Q_DISABLE_COPY(KFileTypeManager)
};
