#pragma once

#include <QLibrary>
#include <QString>

class QWidget;

// The plug-in as the host holds it: a library bound by the names of its two exports.
class KPluginLibrary
{
public:
    explicit KPluginLibrary(const QString& path);
    // Releases the plug-in and unloads it, if that has not happened yet.
    ~KPluginLibrary();

    // libKVaultkeep.so beside the running executable, or in the installed library folder.
    static QString defaultPath();

    QString path() const { return m_library.fileName(); }
    // Loads the library and finds both exports; false with the reason otherwise.
    bool load(QString* error);
    bool isLoaded() const { return m_createFrame != nullptr; }

    // The plug-in's window; null while the library is not loaded.
    QWidget* createFrame();
    // Lets the plug-in save and delete its window, then unloads the library. Returns whether the
    // system let the library go.
    bool release();

private:
    using CreateFrameFunction = QWidget* (*)();
    using ReleaseFunction = void (*)();

    QLibrary m_library;
    CreateFrameFunction m_createFrame = nullptr;
    ReleaseFunction m_release = nullptr;

    Q_DISABLE_COPY(KPluginLibrary)
};
