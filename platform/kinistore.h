#pragma once

#include "platform/kiniformat.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

// An INI file that other processes and programs share: the emulated registry hive and the module's
// settings file. Every store on one file in the process shares what was read of it and the changes
// not yet written; a store opened after another process wrote the file reads it again.
//
// The file is read only when it is a regular file of at most MaxFileSize bytes (a FIFO or a huge
// file never blocks or floods the reader). A write takes the file's lock (Qt's, "<file>.lock",
// which QSettings takes too), reads the file again if it changed, makes the changes in its text
// (KIniFormat::Document: every other byte stays) and replaces the file with the result, flushed
// before it is renamed. A file that cannot be read or is no INI text is never written: that is
// reported once (category "vaultkeep.ini"), the file stays as it is, and the process goes on with
// what it read last and the changes it made, which stay pending, as they do after a write that
// failed (a full disk), until a later sync writes them.
//
// What is written is private to the user (0600), whatever the file's permissions were. Any thread
// may use a store; the stores of the process take turns.
class KIniStore
{
public:
    KIniStore(const QString& filePath, KIniFormat::Dialect dialect);
    ~KIniStore();

    QString filePath() const;

    // Keys are "group/name"; an empty group is the top level.
    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    bool contains(const QString& key) const;
    // Names directly under `group`, sorted.
    QStringList childKeys(const QString& group) const;
    // The same with their values, in one look.
    QVector<QPair<QString, QVariant>> childValues(const QString& group) const;
    // Their values alone, as text: a recent-file list of thousands is read every cycle. Until
    // they change, every call returns the same list.
    QStringList childValueTexts(const QString& group) const;
    QStringList childGroups(const QString& group) const;

    void setValue(const QString& key, const QVariant& value);
    // Removes the key and every key below it; an empty key removes them all.
    void remove(const QString& key);

    // Writes what is pending; true when nothing is pending any more.
    [[nodiscard]] bool sync();

    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

private:
    struct File;
    std::shared_ptr<File> m_file;
    Q_DISABLE_COPY(KIniStore)
};
