#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

// What the tray icon shows of the plug-in, from the states the plug-in posts to the host. Until
// the plug-in has said whether protection is on, the icon shows it starting.
class KTrayState
{
    Q_DECLARE_TR_FUNCTIONS(KTrayState)

public:
    enum class Look
    {
        Starting,
        Protecting,
        BackingUp,
        Paused,
        Problem,
    };

    // The plug-in's posts; `problems` are AtriumMessage::ProblemBits, `lastBackup` seconds
    // since the epoch.
    void setProtection(bool on);
    void setBackingUp(bool backingUp);
    void setLastBackup(qint64 seconds);
    void setProblems(qintptr problems);
    // AtriumMessage::StateOffsite, StateOffsiteLastBackup and StateOffsiteProblem.
    void setOffsite(qintptr state) { m_offsite = state; }
    void setOffsiteLastBackup(qint64 seconds) { m_offsiteLastBackup = seconds; }
    void setOffsiteProblem(qintptr problem) { m_offsiteProblem = problem; }

    // A problem shows before anything else, then a cycle at work, then a pause.
    Look look() const;
    bool isProtecting() const { return m_protection == 1; }
    // The state and the last backup, as of `now`, in the user's words.
    QString toolTip(const QDateTime& now) const;
    // The menu's entry that turns protection off or on again.
    QString pauseText() const;

private:
    int m_protection = -1; // not posted yet
    bool m_backingUp = false;
    qint64 m_lastBackup = -1;
    qintptr m_problems = 0;
    qintptr m_offsite = -1; // off
    qint64 m_offsiteLastBackup = -1;
    qintptr m_offsiteProblem = 0;

    QString timeText(qint64 seconds, const QDateTime& now) const;
    QString offsiteLine(const QDateTime& now) const;
};
