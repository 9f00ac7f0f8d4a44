#pragma once

#include "service/kservices.h"

#include <QDialog>
#include <QHash>
#include <QScopedPointer>
#include <QStringList>
#include <QVector>

namespace Ui {
class KFileVersionDlg;
}

class KFileServiceManager;
class KTableWidget;
struct KFileStatus;
class KVersionId;
struct KUnprotectedReason;

// The modal list of every backed-up version of one protected file, the newest backup first,
// from which a version is restored or deleted. The list is built once the dialog is on screen and
// the copies' status has been read on another thread.
// While any such dialog exists the pages hold back their refreshes; once it is gone the engine
// is asked to refresh them all.
class KFileVersionDlg : public QDialog
{
    Q_OBJECT

public:
    KFileVersionDlg(const QString& strFileName, const KServices& services, QWidget* parent = nullptr);
    ~KFileVersionDlg() override;

    // The number of version dialogs alive, on the GUI thread.
    static int openVersionDialogCount();

    QString fileName() const { return m_strFileName; }
    KTableWidget* versionTable() const;
    int shownCount() const;

    // Runs the dialog; for a file without versions it says why instead, and gives Rejected.
    int exec() override;
    // "<time> backed up" for a version, its time read from its FileID.
    static QString backupTimeText(const QString& fileId);
    // What the user reads about `path` having no versions.
    static QString notProtectedText(const QString& path, const KUnprotectedReason& why);

    // A row's restore ended; `target` is where it wrote (empty when it did not), `message` what
    // it reported. Once the row's procedure has returned the list is built again: the restore
    // may have kept the file's former state as a new version.
    void onRestoreEnded(const QString& fileId, const QString& target, const QString& message);
    // The version listed after `fileId`, the one backed up before it; empty for the last.
    QString olderVersion(const QString& fileId) const;
    // Builds the list again once the current event is handled.
    void rebuildLater();

signals:
    void sigCreateTable();
    // The list was built, or built again.
    void sigListBuilt();
    // A version was restored to `target`.
    void sigVersionRestored(const QString& target, const QString& message);

public slots:
    void onCreateTable();
    void onRowRemoved(QString strKey);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The list's rows, newest first: their keys (FileIDs) and texts.
    struct Rows
    {
        QStringList ids;
        QVector<QStringList> texts;
    };

    void setCount(int count);
    // Starts a build of the list from these versions.
    void listVersions(const QVector<KVersionId>& recorded);
    // Runs on another thread: it reads the copies' status.
    static Rows listRows(KFileServiceManager* engine, const QString& fileName, const QString& backupFolder,
        const QVector<KVersionId>& recorded);
    void fillTable(Rows rows);
    // A copy's size; for a missing one, the size recorded for it and that it is missing.
    static QString sizeText(const KVersionId& version, const KFileStatus& copy);
    static QString missingText();

    struct Restored
    {
        QString target;
        QString message;
    };

    QScopedPointer<Ui::KFileVersionDlg> m_ui;
    const QString m_strFileName;
    const KServices m_services;
    QHash<QString, Restored> m_restored; // by FileID
    bool m_built = false;
    bool m_rebuildPending = false;
    int m_builds = 0; // the list builds asked for
    Q_DISABLE_COPY(KFileVersionDlg)
};
