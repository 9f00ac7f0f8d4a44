#include "AtriumCommon/atriumuserdatalogutils.h"

#include "platform/kinstalllayout.h"
#include "platform/kmessageslog.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString HostKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium");
const QString CacheFileName = QStringLiteral("AtriumDataLog.db");
constexpr int CacheItemMaxCount = 300;

const char16_t* wide(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

QString editionText(int tag)
{
    switch (tag) {
    case 2:
        return QStringLiteral(";正式版");
    case 1:
        return QStringLiteral(";体验版");
    default:
        return QStringLiteral(";测试版");
    }
}

template<typename Function> Function resolve(QLibrary& library, const char* name)
{
    return reinterpret_cast<Function>(library.resolve(name));
}

} // namespace

AtriumUserDataLogUtils::AtriumUserDataLogUtils(const QString& hostExecutablePath, QObject* parent)
    : QObject(parent)
    , m_hostExecutablePath(
          hostExecutablePath.isEmpty() ? KPlatform::instance()->hostExecutablePath() : hostExecutablePath)
{
    m_libraryPath = findLibrary(m_hostExecutablePath);
    if (m_libraryPath.isEmpty())
        return;
    m_library.setFileName(m_libraryPath);
    m_uploadUserTraceInfo = resolve<UploadUserTraceInfoFunction>(m_library, "UploadUserTraceInfo");
    m_waitForUpLoadUserTraceLog
        = resolve<WaitForUpLoadUserTraceLogFunction>(m_library, "WaitForUpLoadUserTraceLog");
    m_setCacheFileName = resolve<SetCacheFileNameFunction>(m_library, "SetCacheFileName");
    m_setCacheItemMaxCount = resolve<SetCacheItemMaxCountFunction>(m_library, "SetCacheItemMaxCount");
    if (const SetCacheFileNameFunction setFileName = m_setCacheFileName)
        setFileName(wide(CacheFileName));
    if (const SetCacheItemMaxCountFunction setMaxCount = m_setCacheItemMaxCount)
        setMaxCount(CacheItemMaxCount);
    // The host's version cannot change while it runs: read once, not for every record.
    if (isBound())
        m_hostVersion = getFileVersion(m_hostExecutablePath);
}

AtriumUserDataLogUtils::~AtriumUserDataLogUtils()
{
    // The library stays loaded: records may still be on their way inside it.
    m_uploadUserTraceInfo = nullptr;
    m_waitForUpLoadUserTraceLog = nullptr;
    m_setCacheFileName = nullptr;
    m_setCacheItemMaxCount = nullptr;
}

AtriumUserDataLogUtils* AtriumUserDataLogUtils::instance()
{
    static AtriumUserDataLogUtils utils;
    return &utils;
}

QString AtriumUserDataLogUtils::findLibrary(const QString& hostExecutablePath)
{
    const QChar separator = KPaths::nativeSeparator();
    const QString name = KPaths::libraryFileName(QStringLiteral("Pathmark"));
    const auto folder = [separator](const QString& text) -> QString {
        return separator + text + separator;
    };

    // The host folder keeps its trailing separator; the doubled separators this gives are
    // collapsed at the end.
    const QString executable = KPaths::toNativeSeparators(hostExecutablePath);
    const QString hostFolder = executable.left(executable.lastIndexOf(separator) + 1);
    const QString libraryFolder
        = hostFolder.isEmpty() ? QString() : KInstallLayout::libraryFolder(executable);
    QString path;
    if (!libraryFolder.isEmpty() && QFile::exists(libraryFolder + separator + name)) {
        path = libraryFolder + separator + name;
    } else if (hostFolder.contains(folder(QStringLiteral("Core")), Qt::CaseInsensitive)) {
        path = hostFolder + separator + QStringLiteral("..") + folder(QStringLiteral("Service")) + name;
    } else {
        const KRegistryKey host(HostKey);
        QString version = host.value(QStringLiteral("Version")).toString();
        if (version.isEmpty())
            version = QStringLiteral("1");
        // The installation's base: the part before the last "apps" or "channels" folder. The
        // folder names match in any case; the base keeps its case where paths are case-sensitive.
        const QString folded = KPaths::foldCase(hostFolder);
        QString base;
        if (const int apps = folded.lastIndexOf(folder(QStringLiteral("apps")), -1, Qt::CaseInsensitive);
            apps >= 0)
            base = folded.left(apps);
        else if (const int channels
                 = folded.lastIndexOf(folder(QStringLiteral("channels")), -1, Qt::CaseInsensitive);
                 channels >= 0)
            base = folded.left(channels);
        else
            base = host.value(QStringLiteral("Path")).toString();
        if (base.isEmpty() || !QFileInfo(base).isDir())
            return QString();
        path = base + folder(QStringLiteral("Core")) + version + folder(QStringLiteral("Service")) + name;
        if (!QFile::exists(path))
            path = base + folder(QStringLiteral("Core")) + QStringLiteral("Service") + separator + name;
    }
    path.replace(QString(separator) + separator, QString(separator));
    return KPaths::toNativeSeparators(path);
}

QString AtriumUserDataLogUtils::getFileVersion(const QString& path)
{
    const QString version = KPlatform::instance()->fileVersion(path);
    if (version.isEmpty())
        qCDebug(vkMessages) << "no file version for" << path;
    return version;
}

bool AtriumUserDataLogUtils::isBound() const
{
    return m_uploadUserTraceInfo.load() != nullptr;
}

AtriumTraceCall AtriumUserDataLogUtils::prepare(const AtriumTraceRecord& record) const
{
    const KRegistryKey host(HostKey);
    AtriumTraceCall call;
    call.user = record.user.isEmpty() ? host.value(QStringLiteral("UserName")).toString() : record.user;
    call.application = record.application.isEmpty() ? QStringLiteral("Atrium") : record.application;
    call.operation = record.operation;
    call.page = record.page;
    call.product = record.product;
    const QString version = record.version.isEmpty() ? m_hostVersion : record.version;
    call.versionText = QStringLiteral("版本号=") + version + QStringLiteral(",App=")
        + QFileInfo(m_hostExecutablePath).fileName();
    call.kindText = record.kind + editionText(host.value(QStringLiteral("tag")).toInt());
    return call;
}

void AtriumUserDataLogUtils::upload(const AtriumTraceCall& call) const
{
    if (const UploadUserTraceInfoFunction uploadUserTraceInfo = m_uploadUserTraceInfo) {
        uploadUserTraceInfo(wide(call.user), wide(call.application), wide(call.operation), wide(call.page),
            wide(call.product), wide(call.versionText), wide(call.kindText));
    }
}

void AtriumUserDataLogUtils::send(const AtriumTraceRecord& record) const
{
    if (isBound())
        upload(prepare(record));
}

bool AtriumUserDataLogUtils::waitForUpload(int msecs) const
{
    const WaitForUpLoadUserTraceLogFunction wait = m_waitForUpLoadUserTraceLog;
    return wait && wait(msecs) != 0;
}

namespace {

void writeTrace(const QString& operation, const QString& page, const QString& product, const QString& kind)
{
    AtriumTraceRecord record;
    record.operation = operation;
    record.page = page;
    record.product = product;
    record.kind = kind;
    AtriumUserDataLogUtils::instance()->send(record);
}

} // namespace

void writeAutoTrace(const QString& operation, const QString& page, const QString& product)
{
    writeTrace(operation, page, product, QStringLiteral("自动发送;"));
}

void writeManualTrace(const QString& operation, const QString& page, const QString& product)
{
    writeTrace(operation, page, product, QStringLiteral("手动操作;"));
}
