#include "kbenchworkspace.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/ktimestamp.h"
#include "discovery/kproductcatalog.h"
#include "discovery/kproductinfo.h"
#include "platform/kfileops.h"
#include "platform/klinuxplatform.h"
#include "platform/kregistry.h"
#include "service/kfileservicemanager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

KBenchWorkspace::KBenchWorkspace(const QString& folder, int files, int fileSize)
    : m_folder(QDir(folder).absolutePath())
    , m_files(files)
    , m_fileSize(fileSize)
{ }

KBenchWorkspace::~KBenchWorkspace()
{
    KPlatform::setInstance(nullptr);
}

bool KBenchWorkspace::create(QString* error, bool populate)
{
    if (!QDir().mkpath(sourceFolder()) || !QDir().mkpath(driveRoot())) {
        *error = QStringLiteral("cannot create folders in ") + m_folder;
        return false;
    }
    m_platform.reset(new KFakePlatform(m_folder + QStringLiteral("/machine")));
    quint64 freeBytes = 0;
    quint64 totalBytes = 0;
    if (!KLinuxPlatform().diskSpace(driveRoot(), &freeBytes, &totalBytes)) {
        *error = QStringLiteral("cannot read the free space of ") + driveRoot();
        return false;
    }
    m_platform->addDrive(driveRoot(), KDriveKind::Fixed, KFileSystemKind::Ntfs, freeBytes, totalBytes);
    KPlatform::setInstance(m_platform.data());
    if (!populate)
        return true;
    if (!KConfig::instance()->setBackUpPath(driveRoot()))
        qFatal("cannot write the settings");

    // Sources, a hundred to a folder; contents differ so that no file system can share them.
    QByteArray content(m_fileSize, 'v');
    for (int i = 0; i < m_files; ++i) {
        const QString dir = sourceFolder() + QStringLiteral("/d%1").arg(i / 100, 3, 10, QLatin1Char('0'));
        if (i % 100 == 0)
            QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/工程%1.pra4").arg(i, 5, 10, QLatin1Char('0'));
        const QByteArray stamp = QByteArray::number(i);
        content.replace(0, stamp.size(), stamp);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            *error = QStringLiteral("cannot write ") + path;
            return false;
        }
        m_sources << path;
    }

    KProductCatalog catalog;
    if (!catalog.load(KProductCatalog::builtInPath())) {
        *error = QStringLiteral("cannot read the built-in product catalog");
        return false;
    }
    QString key;
    for (const KProductInfo* product : catalog.products()) {
        if (product->code().contains(QLatin1String("PRA4")) && !product->recentFile().isEmpty()) {
            key = product->recentFile();
            break;
        }
    }
    if (key.isEmpty()) {
        *error = QStringLiteral("the catalog names no pricing product");
        return false;
    }
    KRegistryKey list(key);
    for (int i = 0; i < m_sources.size(); ++i)
        list.setValue(QStringLiteral("File%1").arg(i), m_sources.at(i));
    if (!list.sync()) {
        *error = QStringLiteral("the pricing product's list cannot be written to the registry hive");
        return false;
    }
    return true;
}

namespace {

bool writeDated(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush()
        && file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
}

} // namespace

bool KBenchWorkspace::writeDesktopRecentLists(
    int xbelEntries, int officeBytes, QString* xbel, QString* office) const
{
    if (m_sources.isEmpty())
        return false;
    const QByteArray time = "2024-03-01T09:12:45.123456Z";
    QByteArray bookmarks = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
                           "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
                           "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n";
    for (int i = 0; i < xbelEntries; ++i) {
        bookmarks += "  <bookmark href=\""
            + QUrl::fromLocalFile(m_sources.at(i % m_sources.size())).toEncoded() + "\" added=\"" + time
            + "\" modified=\"" + time + "\" visited=\"" + time
            + "\">\n    <info>\n      <metadata owner=\"http://freedesktop.org\">\n"
              "        <mime:mime-type type=\"application/octet-stream\"/>\n        <bookmark:applications>\n"
              "          <bookmark:application name=\"Estimator\" exec=\"&apos;estimator %u&apos;\" "
              "modified=\""
            + time + "\" count=\"1\"/>\n        </bookmark:applications>\n      </metadata>\n    </info>\n"
            + "  </bookmark>\n";
    }
    bookmarks += "</xbel>";

    const QByteArray history = "<item oor:path=\"/org.openoffice.Office.Histories/Histories/"
                               "org.openoffice.Office.Histories:HistoryInfo['PickList']/";
    const QByteArray thumbnail = QByteArray("iVBORw0KGgoAAAANSUhEUgAAAQAAAAEACAYAAAB").repeated(500);
    QByteArray settings = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
                          "xmlns:oor=\"http://openoffice.org/2001/registry\" "
                          "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
    for (int i = 0; i < 100; ++i) {
        const QByteArray url = QUrl::fromLocalFile(m_sources.at(i % m_sources.size())).toEncoded();
        settings += history + "ItemList\"><node oor:name=\"" + url
            + "\" oor:op=\"replace\"><prop oor:name=\"Filter\" oor:op=\"fuse\"><value>calc8</value></prop>"
              "<prop oor:name=\"Thumbnail\" oor:op=\"fuse\"><value>"
            + thumbnail
            + "</value></prop><prop oor:name=\"Title\" "
              "oor:op=\"fuse\"><value>t</value></prop></node></item>\n";
        settings += history + "OrderList\"><node oor:name=\"" + QByteArray::number(i)
            + "\" oor:op=\"replace\"><prop oor:name=\"HistoryItemRef\" oor:op=\"fuse\"><value>" + url
            + "</value></prop></node></item>\n";
    }
    for (int i = 0; settings.size() < officeBytes; ++i) {
        settings += "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"Setting"
            + QByteArray::number(i) + "\" oor:op=\"fuse\"><value>" + QByteArray(200, 'x')
            + "</value></prop></item>\n";
    }
    settings += "</oor:items>\n";

    *xbel = m_platform->dataHomeFolder() + QStringLiteral("/recently-used.xbel");
    *office
        = m_platform->configHomeFolder() + QStringLiteral("/libreoffice/4/user/registrymodifications.xcu");
    return writeDated(*xbel, bookmarks) && writeDated(*office, settings);
}

bool KBenchWorkspace::addOlderVersions(KFileServiceManager* manager, const QStringList& sources, int count)
{
    const QString folder = KCommon::backupDirectory();
    const QString today = KTimeStamp::formatDate(QDate::currentDate());
    for (const QString& source : sources) {
        const KFileObjectPtr record = manager->findFile(source);
        if (!record)
            return false;
        const QDateTime modified = QDateTime::fromMSecsSinceEpoch(KFileOps::status(source).modifiedMSecs);
        for (int k = 1; k <= count; ++k) {
            const QString fileId = QUuid::createUuid().toString() + QLatin1Char('_')
                + KTimeStamp::format(modified.addSecs(-3600 * k)) + QLatin1Char('_') + today;
            if (!KFileOps::copyFile(source, folder + fileId))
                return false;
            record->addVersion(fileId);
        }
    }
    return true;
}
