#include "kpluginlibrary.h"

#include "platform/kinstalllayout.h"

#include <QCoreApplication>
#include <QFileInfo>

KPluginLibrary::KPluginLibrary(const QString& path)
    : m_library(path)
{ }

KPluginLibrary::~KPluginLibrary()
{
    release();
}

QString KPluginLibrary::defaultPath()
{
    return KInstallLayout::libraryFolder(QCoreApplication::applicationFilePath())
        + QStringLiteral("/libKVaultkeep.so");
}

bool KPluginLibrary::load(QString* error)
{
    if (isLoaded())
        return true;
    if (!QFileInfo::exists(m_library.fileName())) {
        *error = QStringLiteral("there is no plug-in at %1").arg(m_library.fileName());
        return false;
    }
    if (!m_library.load()) {
        *error = m_library.errorString();
        return false;
    }
    const auto createFrame = reinterpret_cast<CreateFrameFunction>(m_library.resolve("createFrame"));
    const auto release = reinterpret_cast<ReleaseFunction>(m_library.resolve("releaseKVaultkeep"));
    if (!createFrame || !release) {
        *error = QStringLiteral("%1 does not export createFrame and releaseKVaultkeep")
                     .arg(m_library.fileName());
        m_library.unload();
        return false;
    }
    m_createFrame = createFrame;
    m_release = release;
    return true;
}

QWidget* KPluginLibrary::createFrame()
{
    return m_createFrame ? m_createFrame() : nullptr;
}

bool KPluginLibrary::release()
{
    if (!isLoaded())
        return false;
    m_release();
    m_createFrame = nullptr;
    m_release = nullptr;
    return m_library.unload();
}
