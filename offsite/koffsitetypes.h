#pragma once

#include <QLoggingCategory>
#include <QMetaType>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(vkOffsite) // the second copy off this machine: restic's runs and failures

// What the user chose for the copy off this machine.
struct KOffsiteSettings
{
    bool enabled = false;
    // Any repository restic opens: a folder, "sftp:", "rest:", "s3:", "rclone:".
    QString repository;
    int keepDays = 90;
    // The least time between two uploads.
    int intervalMinutes = 60;
    // The restic program: a name found on the search path, or a full path.
    QString program = QStringLiteral("restic");

    static constexpr int DefaultKeepDays = 90;
    static constexpr int DefaultIntervalMinutes = 60;
};

// What went wrong with a run of restic, in the few kinds the user can act on.
enum class KOffsiteProblem
{
    None,
    NotInstalled, // no restic program
    NoPassword, // the password is not known in this process
    Unreachable, // the place cannot be reached: network, server, a disk not connected
    WrongPassword,
    NotARepository, // reached, but no repository there
    Busy, // another process holds the repository's lock
    Stopped, // stopped by us: quitting, the plug-in released, the user
    Damaged, // a copy brought back did not match its sum, or `restic check` failed
    NotFound, // the repository holds no copy of the version asked for
    Failed, // anything else; restic's own words are in the log
};

// The words the pages show for a problem; empty for None.
QString offsiteProblemText(KOffsiteProblem problem);

// Where the copy off this machine stands, for the home page and the settings.
struct KOffsiteStatus
{
    enum class State
    {
        Off, // not enabled or no repository set
        NotInstalled,
        NeedsPassword, // enabled, but no keyring answered and the user has not typed it yet
        Idle,
        Running,
    };
    State state = State::Off;
    qint64 lastBackupMSecs = -1; // the last upload that finished; -1 never
    qint64 lastAddedBytes = 0; // what it added to the repository
    qint64 nextBackupMSecs = -1; // -1 when nothing waits to go up
    int progressPercent = -1; // while an upload runs
    KOffsiteProblem lastProblem = KOffsiteProblem::None; // of the last upload
    bool checkFailed = false; // the last weekly check of the repository failed
};

// Declared for tests that spy on signals; the product never registers these types. Qt's type
// registry outlives a plug-in that is unloaded, and would call the first load's copy functions.
Q_DECLARE_METATYPE(KOffsiteSettings)
Q_DECLARE_METATYPE(KOffsiteStatus)
Q_DECLARE_METATYPE(KOffsiteProblem)
