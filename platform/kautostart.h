#pragma once

#include <QString>

// The freedesktop autostart entry that starts the program with the user's session:
// "<config home>/autostart/<application id>.desktop". Whether the program starts with the
// session is read from the entry each time, never kept anywhere else, so that removing the file
// by hand or turning it off in the desktop's own settings is what the program shows.
class KAutostart
{
public:
    // `configHome` is $XDG_CONFIG_HOME as the platform answers it.
    KAutostart(const QString& configHome, const QString& applicationId);

    QString entryPath() const { return m_path; }

    // The entry is a regular file that neither hides itself nor is turned off
    // (Hidden=true, X-GNOME-Autostart-enabled=false).
    bool isEnabled() const;

    // Writes the entry, which runs `program` with `arguments` (written aside, flushed, renamed;
    // private to the user), or removes it. An entry the desktop turned off is written anew.
    // False with the reason in `error` when the file could not be written or removed.
    [[nodiscard]] bool setEnabled(
        bool enabled, const QString& program, const QStringList& arguments, QString* error) const;

    // `argument` as an Exec key of a desktop entry quotes it.
    static QString quoteArgument(const QString& argument);

    // An entry larger than this is not one of ours and is read as turned off.
    static constexpr qint64 MaxEntrySize = 64 * 1024;

private:
    const QString m_applicationId;
    const QString m_path;
};
