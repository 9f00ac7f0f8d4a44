#include "core/kconfig.h"
#include "core/kfiletypemanager.h"
#include "discovery/kdesktoprecentfiles.h"
#include "discovery/kdiskfilemanager.h"
#include "discovery/kfileuri.h"
#include "discovery/kproductcatalog.h"
#include "discovery/krecentlibreoffice.h"
#include "kfiforelease.h"
#include "ktestenvironment.h"

#include <QBuffer>
#include <QSaveFile>
#include <QTextCodec>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Lists as GTK (through GLib), LibreOffice and KDE write them; "@HOME@" stands for the home
// folder.
QByteArray xbel(const QByteArray& bookmarks)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<xbel version=\"1.0\"\n"
           "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
           "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n"
        + bookmarks + "</xbel>";
}

QByteArray bookmark(const QByteArray& href, const QByteArray& modified = "2024-03-02T10:00:00.654321Z",
    const QByteArray& mime = "application/vnd.oasis.opendocument.text")
{
    return "  <bookmark href=\"" + href + "\" added=\"" + modified + "\" modified=\"" + modified
        + "\" visited=\"" + modified
        + "\">\n"
          "    <info>\n"
          "      <metadata owner=\"http://freedesktop.org\">\n"
          "        <mime:mime-type type=\""
        + mime
        + "\"/>\n"
          "        <bookmark:applications>\n"
          "          <bookmark:application name=\"LibreOffice\" exec=\"&apos;soffice %u&apos;\" modified=\""
        + modified
        + "\" count=\"2\"/>\n"
          "        </bookmark:applications>\n"
          "      </metadata>\n"
          "    </info>\n"
          "  </bookmark>\n";
}

const QByteArray HistoryPath = "/org.openoffice.Office.Histories/Histories/"
                               "org.openoffice.Office.Histories:HistoryInfo['PickList']";

QByteArray xcu(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
           "xmlns:oor=\"http://openoffice.org/2001/registry\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
           "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"FirstRun\" "
           "oor:op=\"fuse\">"
           "<value>false</value></prop></item>\n"
        + items + "</oor:items>\n";
}

// An item of the history's ItemList, with its thumbnail, as a node of the list.
QByteArray historyItem(const QByteArray& url, const QByteArray& operation = "replace")
{
    if (operation == "remove")
        return "<item oor:path=\"" + HistoryPath + "/ItemList\"><node oor:name=\"" + url
            + "\" oor:op=\"remove\"/></item>\n";
    return "<item oor:path=\"" + HistoryPath + "/ItemList\"><node oor:name=\"" + url + "\" oor:op=\""
        + operation
        + "\"><prop oor:name=\"Filter\" oor:op=\"fuse\"><value>writer8</value></prop><prop "
          "oor:name=\"Password\" "
          "oor:op=\"fuse\"><value></value></prop><prop oor:name=\"ReadOnly\" "
          "oor:op=\"fuse\"><value>false</value>"
          "</prop><prop oor:name=\"Thumbnail\" oor:op=\"fuse\"><value>"
        + QByteArray("iVBORw0KGgoAAAANSUhEUgAAAQAAAAEACAYAAAB").repeated(40)
        + "</value></prop><prop oor:name=\"Title\" oor:op=\"fuse\"><value>t</value></prop></node></item>\n";
}

QByteArray historyOrder(int position, const QByteArray& url)
{
    return "<item oor:path=\"" + HistoryPath + "/OrderList\"><node oor:name=\"" + QByteArray::number(position)
        + "\" oor:op=\"replace\"><prop oor:name=\"HistoryItemRef\" oor:op=\"fuse\"><value>" + url
        + "</value></prop></node></item>\n";
}

QByteArray kdeEntry(const QByteArray& urlLine)
{
    return "[Desktop Entry]\nIcon=application-vnd.oasis.opendocument.text\nName=entry\nType=Link\n" + urlLine
        + "\nX-KDE-LastOpenedWith=writer\n";
}

constexpr int XbelVersions = 1000;

// The writer process: replaces the list by a new file renamed over it, as GLib does, each
// version with five files of its own.
int writeXbelVersions(const QString& path, const QString& folder)
{
    for (int version = 0; version < XbelVersions; ++version) {
        QByteArray bookmarks;
        for (int k = 0; k < 5; ++k) {
            const QString name = QStringLiteral("v%1-%2.odt").arg(version, 4, 10, QLatin1Char('0')).arg(k);
            bookmarks += bookmark(QUrl::fromLocalFile(folder + name).toEncoded());
        }
        QSaveFile file(path);
        const QByteArray content = xbel(bookmarks);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
            return 1;
    }
    return 0;
}

qint64 peakResidentKiB()
{
    rusage usage = {};
    return ::getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
}

// Writes `head`, then nothing (a hole the file system does not store) up to `size` bytes less
// the tail, then `tail`.
bool writeSparse(const QString& path, const QByteArray& head, qint64 size, const QByteArray& tail)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(head) == head.size() && file.seek(size - tail.size())
        && file.write(tail) == tail.size();
}

// The child process: reads a 1 GiB freedesktop list and a LibreOffice list just below the cap,
// and prints its peak resident memory before and after, in KiB.
int readHugeLists()
{
    KTestEnvironment env;
    KProductCatalog catalog;
    KPlatform* platform = env.platform();
    const QByteArray end = "</oor:items>\n";
    if (!catalog.load(KProductCatalog::builtInPath())
        || !writeSparse(platform->dataHomeFolder() + QStringLiteral("/recently-used.xbel"),
            xbel(bookmark("file:///d/huge.odt")).replace("</xbel>", ""), 1024 * MiB, "</xbel>")
        || !writeSparse(
            platform->configHomeFolder() + QStringLiteral("/libreoffice/4/user/registrymodifications.xcu"),
            xcu(historyItem("file:///d/first.odt")).replace(end, ""), KDesktopRecentFiles::MaxListBytes - 1,
            historyItem("file:///d/last.odt") + end)) {
        return 2;
    }
    const qint64 before = peakResidentKiB();
    const QStringList documents = KDesktopRecentFiles().documents(KDesktopRecentSettings());
    QTextStream(stdout) << before << ' ' << peakResidentKiB() << '\n';
    return documents == QStringList { QStringLiteral("/d/first.odt"), QStringLiteral("/d/last.odt") } ? 0 : 1;
}

} // namespace

// The desktop's own recent-file lists: GTK's and the desktop frameworks' xbel files,
// LibreOffice's history and KDE's recent documents.
class TestDesktopRecentFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void listsGiveExactlyTheProtectedFiles_data();
    void listsGiveExactlyTheProtectedFiles();
    void everySpellingOfAFileIsOneName_data();
    void everySpellingOfAFileIsOneName();
    void aListIsReadAgainOnlyWhenItChangedAndKeepsItsFilesUntilItIsRead();
    void switchedOffListsAreNotRead();
    void folderPatterns_data();
    void folderPatterns();
    void aWriterReplacingTheListNeverLosesItsLastVersion();
    void listsAreReadAsStreamsUpToACap();

private:
    QString home() const { return m_env.platform()->homeFolder(); }
    QString xbelPath() const
    {
        return m_env.platform()->dataHomeFolder() + QStringLiteral("/recently-used.xbel");
    }
    QByteArray withHome(QByteArray text) const { return text.replace("@HOME@", QFile::encodeName(home())); }
    // Written a minute back, so that the list counts as settled.
    QString write(const QString& path, const QByteArray& content) const
    {
        return m_env.writeFile(path, withHome(content), QDateTime::currentDateTime().addSecs(-60));
    }

    KTestEnvironment m_env;
};

void TestDesktopRecentFiles::initTestCase()
{
    KProductCatalog catalog; // the office and drawing rows' kinds, in the process-wide table
    QVERIFY(catalog.load(KProductCatalog::builtInPath()));
}

void TestDesktopRecentFiles::init()
{
    QDir(home()).removeRecursively();
    QDir().mkpath(home());
    m_env.platform()->setCurrentDateTime(QDateTime());
    KConfig* config = KConfig::instance();
    QVERIFY(config->setReadRecentlyUsedXbel(true));
    QVERIFY(config->setReadLibreOfficeHistory(true));
    QVERIFY(config->setReadKdeRecentDocuments(true));
}

void TestDesktopRecentFiles::listsGiveExactlyTheProtectedFiles_data()
{
    // Each list file as its path below the home folder, "|", its content; the files expected.
    QTest::addColumn<QByteArrayList>("lists");
    QTest::addColumn<QStringList>("expected");
    const QByteArray gtk = ".local/share/recently-used.xbel|";
    const QByteArray office = ".config/libreoffice/4/user/registrymodifications.xcu|";
    const QByteArray kde = ".local/share/RecentDocuments/";
    const auto home = [](const char* name) -> QString {
        return QStringLiteral("@HOME@/") + QString::fromUtf8(name);
    };

    QTest::newRow("GTK: escaped spaces and Chinese names, an ampersand, most recently used first")
        << QByteArrayList { gtk
               + xbel(bookmark("file://@HOME@/Documents/report%20final.odt", "2024-03-02T10:00:00.654321Z")
                   + bookmark(
                       "file://@HOME@/%E6%96%87%E6%A1%A3/%E9%A2%84%E7%AE%97.ods", "2024-03-04T08:00:00Z")
                   + bookmark("file://@HOME@/R&amp;D%20plan.docx", "2024-03-03T10:00:00.5+08:00")) }
        << QStringList { home("文档/预算.ods"), home("R&D plan.docx"), home("Documents/report final.odt") };
    QTest::newRow("GTK: a bad date costs only its entry's place, a malformed entry only itself")
        << QByteArrayList { gtk
               + xbel(bookmark("file://@HOME@/undated.odt", "2024-02-30T10:00:00Z")
                   + "  <bookmark href=\"file://@HOME@/broken.odt added=\"2024-03-01T09:12:45Z\">\n"
                     "    <info/>\n  </bookmark>\n"
                   + bookmark("file://@HOME@/unknown&nbsp;entity.odt")
                   + bookmark("file://@HOME@/dated.odt", "2024-03-02T10:00:00Z")
                   + "  <bookmark href=\"file://@HOME@/cut.odt\">\n"
                   + bookmark("file://@HOME@/after-cut.odt", "2024-01-01T00:00:00Z")) }
        << QStringList { home("dated.odt"), home("after-cut.odt"), home("undated.odt") };
    QTest::newRow("GTK: other places, folders, unprotected kinds, the portal and gvfs are skipped")
        << QByteArrayList { gtk
               + xbel(bookmark("sftp://server/home/ann/remote.odt")
                   + bookmark("smb://server/share/shared.ods") + bookmark("trash:///gone.odt")
                   + bookmark("file://server/home/ann/elsewhere.odt")
                   + bookmark("file://@HOME@/Projects.odt", "2024-03-02T10:00:00Z", "inode/directory")
                   + bookmark("file://@HOME@/Archive.ods") + bookmark("file://@HOME@/Folder.odt/")
                   + bookmark("file://@HOME@/photo.png", "2024-03-02T10:00:00Z", "image/png")
                   + bookmark("file:///run/user/1000/doc/a1b2c3d4/sandboxed.odt")
                   + bookmark("file:///run/user/1000/gvfs/sftp:host=server/mounted.odt")
                   + bookmark("file://@HOME@/.gvfs/share/mounted.odt")
                   + bookmark("file://@HOME@/plan.dxf", "2024-03-01T10:00:00Z")) }
        << QStringList { home("plan.dxf") };

    QTest::newRow("LibreOffice: items and their order as nodes, position 0 first") << QByteArrayList {
        office
        + xcu(historyItem("file://@HOME@/Documents/b%20%E4%B8%80.ods")
            + historyOrder(1, "file://@HOME@/Documents/b%20%E4%B8%80.ods")
            + historyItem("file://@HOME@/Documents/a.odt") + historyOrder(0, "file://@HOME@/Documents/a.odt")
            + historyItem("file://@HOME@/unordered.rtf"))
    } << QStringList { home("Documents/a.odt"), home("Documents/b 一.ods"), home("unordered.rtf") };
    QTest::newRow("LibreOffice: the second item shape, with the path's own escapes")
        << QByteArrayList { office
               + xcu("<item oor:path=\"" + HistoryPath
                   + "/ItemList/org.openoffice.Office.Histories:HistoryItem['file://@HOME@/"
                     "R&amp;amp;D&amp;apos;s.odt']\">"
                     "<prop oor:name=\"Title\" oor:op=\"fuse\"><value>R&amp;D</value></prop></item>\n"
                   + "<item oor:path=\"" + HistoryPath
                   + "/OrderList/org.openoffice.Office.Histories:HistoryOrder['0']\"><prop "
                     "oor:name=\"HistoryItemRef\" "
                     "oor:op=\"fuse\"><value>file://@HOME@/R&amp;D's.odt</value></prop></item>\n"
                   + historyOrder(1, "file://@HOME@/second.odp")) }
        << QStringList { home("R&D's.odt"), home("second.odp") };
    QTest::newRow("LibreOffice: removed entries, other lists, other places and a broken item are skipped")
        << QByteArrayList { office
               + xcu(historyOrder(0, "file://@HOME@/removed.odt")
                   + historyItem("file://@HOME@/removed.odt", "remove")
                   + historyOrder(1, "file://@HOME@/kept.odt") + historyOrder(2, "file://@HOME@/dropped.odt")
                   + "<item oor:path=\"" + HistoryPath
                   + "/OrderList\"><node oor:name=\"2\" oor:op=\"remove\"/></item>\n"
                   + historyOrder(9, "file://@HOME@/later.odt") + historyItem("private:factory/swriter")
                   + historyItem("https://example.com/web.odt")
                   + historyItem("file://@HOME@/help.odt").replace("PickList", "HelpBookmarks")
                   + historyItem("file://@HOME@/broken.odt")
                         .replace("oor:op=\"replace\"", "oor:op=\"replace")) }
        << QStringList { home("kept.odt"), home("later.odt") };

    QTest::newRow("KDE: $HOME expanded, names not escaped, most recently used first")
        << QByteArrayList { kde + "预算.ods.desktop|" + kdeEntry("URL[$e]=file:$HOME/文档/预算.ods"),
               kde + "report final.odt.desktop|" + kdeEntry("URL[$e]=file:$HOME/Documents/report final.odt") }
        << QStringList { home("文档/预算.ods"), home("Documents/report final.odt") };
    QTest::newRow("KDE: $$ for $, %25 for %, full URLs outside the home folder")
        << QByteArrayList { kde + "a.desktop|" + kdeEntry("URL[$e]=file:$HOME/Budget $$2024.ods"),
               kde + "b.desktop|" + kdeEntry("URL[$e]=file:$HOME/100%25 done.odt"),
               kde + "c.desktop|" + kdeEntry("URL[$e]=file:///media/data/plan.dxf") }
        << QStringList { home("Budget $2024.ods"), home("100% done.odt"),
               QStringLiteral("/media/data/plan.dxf") };
    QTest::newRow("KDE: other places, other variables and entries without a URL are skipped")
        << QByteArrayList { kde + "a.desktop|" + kdeEntry("URL[$e]=smb://server/share/x.odt"),
               kde + "b.desktop|" + kdeEntry("URL[$e]=file:/home/$USER/x.odt"),
               kde + "c.desktop|" + kdeEntry("URL[$e]=file:/$(whoami)/x.odt"),
               kde + "d.desktop|" + kdeEntry("Comment=file:$HOME/x.odt"),
               kde + "e.txt|" + kdeEntry("URL[$e]=file:$HOME/y.odt") }
        << QStringList();

    // Names of many lengths, so that the reading window ends at every place of an entry.
    QByteArray bookmarks = "<!--" + QByteArray(100000, 'c') + "-->";
    QByteArray items;
    QStringList files;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray name = "/d/g" + QByteArray::number(i) + QByteArray(i % 97, 'x') + ".odt";
        bookmarks += bookmark("file://" + name);
        files << QString::fromLatin1(name);
    }
    for (int i = 0; i < 300; ++i) {
        const QByteArray name = "/d/o" + QByteArray::number(i) + QByteArray(i % 89, 'y') + ".ods";
        items += historyItem("file://" + name);
        files << QString::fromLatin1(name);
    }
    QTest::newRow("lists many times longer than the window read loses nothing at its edges")
        << QByteArrayList { gtk + xbel(bookmarks), office + xcu(items) } << files;

    // "@FIFO@" makes a FIFO, "@LINK@<target>" a symbolic link.
    QTest::newRow("special files, and links to them, are left out at once; links to lists are read")
        << QByteArrayList { "pipe.odt|@FIFO@", gtk + "@LINK@@HOME@/pipe.odt", office + "@FIFO@",
               "list|" + xbel(bookmark("file://@HOME@/pipe.odt") + bookmark("file://@HOME@/linked.odt")),
               ".recently-used.xbel|@LINK@@HOME@/list", kde + "pipe.desktop|@FIFO@",
               kde + "link.desktop|@LINK@@HOME@/pipe.odt", kde + "device.desktop|@LINK@/dev/zero",
               kde + "kept.desktop|" + kdeEntry("URL[$e]=file:$HOME/kept.odt") }
        << QStringList { home("linked.odt"), home("kept.odt") };

    QTest::newRow("one file in every list is listed once, first where the freedesktop list has it")
        << QByteArrayList { gtk + xbel(bookmark("file://@HOME@/Shared%20Plan.odt")),
               office
                   + xcu(
                       historyItem("file://@HOME@/Shared%20Plan.odt") + historyItem("file://@HOME@/own.odt")),
               kde + "a.desktop|" + kdeEntry("URL[$e]=file:$HOME/Shared Plan.odt") }
        << QStringList { home("Shared Plan.odt"), home("own.odt") };
}

void TestDesktopRecentFiles::listsGiveExactlyTheProtectedFiles()
{
    QFETCH(QByteArrayList, lists);
    QFETCH(QStringList, expected);
    QVERIFY(QDir().mkpath(home() + QStringLiteral("/Archive.ods"))); // a folder named like a document
    QStringList fifos;
    for (int i = 0; i < lists.size(); ++i) {
        const int bar = lists.at(i).indexOf('|');
        const QString path = home() + QLatin1Char('/') + QString::fromUtf8(lists.at(i).left(bar));
        const QByteArray content = withHome(lists.at(i).mid(bar + 1));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (content == "@FIFO@") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            fifos << path;
        } else if (content.startsWith("@LINK@")) {
            QVERIFY(QFile::link(QString::fromUtf8(content.mid(6)), path));
        } else {
            // KDE's entries: each used a minute before the one before it.
            QVERIFY(
                m_env.writeFile(path, content, QDateTime::currentDateTime().addSecs(-60 * (i + 1))).size());
        }
    }
    for (QString& path : expected)
        path.replace(QStringLiteral("@HOME@"), home());
    KDesktopRecentSettings settings;
    settings.excludedFolders = KConfig::instance()->recentExcludedFolders();
    const KFifoRelease release(fifos); // lets a read stuck in opening one go, so that the test fails
    QCOMPARE(KDesktopRecentFiles().documents(settings), expected);
    QVERIFY(!release.released());
}

void TestDesktopRecentFiles::everySpellingOfAFileIsOneName_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("locale");
    const QString plain = QStringLiteral("/d/a b.odt");
    QTest::newRow("local host, lower-case escapes")
        << QStringLiteral("file://localhost/d/a%20b.odt") << plain << QByteArray("UTF-8");
    QTest::newRow("upper-case scheme, doubled and dotted folders")
        << QStringLiteral("FILE:///d//x/..//./a%20b.odt") << plain << QByteArray("UTF-8");
    QTest::newRow("a fragment is not part of the name")
        << QStringLiteral("file:///d/a%20b.odt#page=2") << plain << QByteArray("UTF-8");
    QTest::newRow("an escaped percent sign")
        << QStringLiteral("file:///d/a%2520b.odt") << QStringLiteral("/d/a%20b.odt") << QByteArray("UTF-8");
    QTest::newRow("a percent sign starting no escape")
        << QStringLiteral("file:///d/100%.odt") << QStringLiteral("/d/100%.odt") << QByteArray("UTF-8");
    QTest::newRow("bytes a Latin-1 locale names")
        << QStringLiteral("file:///d/caf%E9.odt") << QStringLiteral("/d/café.odt")
        << QByteArray("ISO-8859-1");
    QTest::newRow("bytes a UTF-8 locale cannot name")
        << QStringLiteral("file:///d/caf%E9.odt") << QString() << QByteArray("UTF-8");
    QTest::newRow("a NUL byte") << QStringLiteral("file:///d/a%00.odt") << QString() << QByteArray("UTF-8");
    QTest::newRow("a relative path") << QStringLiteral("file:d/a.odt") << QString() << QByteArray("UTF-8");
}

void TestDesktopRecentFiles::everySpellingOfAFileIsOneName()
{
    QFETCH(QString, uri);
    QFETCH(QString, path);
    QFETCH(QByteArray, locale);
    QTextCodec* utf8 = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(locale));
    const QString local = KFileUri::localPath(uri);
    QTextCodec::setCodecForLocale(utf8);
    QCOMPARE(local, path);
}

void TestDesktopRecentFiles::aListIsReadAgainOnlyWhenItChangedAndKeepsItsFilesUntilItIsRead()
{
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-60);
    const auto writeList = [this](const QByteArray& name, const QDateTime& modified) {
        return !m_env.writeFile(xbelPath(), xbel(bookmark("file:///d/" + name + ".odt")), modified).isEmpty();
    };
    const auto found = [](const QStringList& names) {
        QStringList paths;
        for (const QString& name : names)
            paths << QStringLiteral("/d/") + name;
        return paths;
    };
    // A list written just now is read once more after it settled, and then no more.
    QVERIFY(writeList("first", stamp));
    m_env.platform()->setCurrentDateTime(stamp.addMSecs(500));
    KDesktopRecentFiles lists;
    QCOMPARE(lists.documents(), found({ QStringLiteral("first.odt") }));
    lists.documents();
    QCOMPARE(lists.parseCount(), 2);
    m_env.platform()->advanceClock(KDesktopRecentFiles::SettleMSecs);
    lists.documents();
    lists.documents();
    QCOMPARE(lists.parseCount(), 3);

    // Its modification time, its size, its inode (a writer replacing it by an alike file).
    m_env.platform()->setCurrentDateTime(QDateTime());
    QVERIFY(writeList("other", stamp.addSecs(1)));
    QCOMPARE(lists.documents(), found({ QStringLiteral("other.odt") }));
    QVERIFY(writeList("longer", stamp.addSecs(1)));
    QCOMPARE(lists.documents(), found({ QStringLiteral("longer.odt") }));
    QSaveFile replacement(xbelPath());
    const QByteArray alike = xbel(bookmark("file:///d/second.odt"));
    QVERIFY(replacement.open(QIODevice::WriteOnly) && replacement.write(alike) == alike.size());
    QVERIFY(replacement.commit());
    QVERIFY(KTestEnvironment::setModified(xbelPath(), stamp.addSecs(1)));
    QCOMPARE(lists.documents(), found({ QStringLiteral("second.odt") }));
    QCOMPARE(lists.parseCount(), 6);

    // One that cannot be read keeps its files, and is tried again in every call.
    QVERIFY(writeList("third", stamp.addSecs(2)));
    QFile::setPermissions(xbelPath(), QFileDevice::Permissions());
    if (QFile(xbelPath()).open(QIODevice::ReadOnly))
        QSKIP("this user reads files without read permission");
    QCOMPARE(lists.documents(), found({ QStringLiteral("second.odt") }));
    QCOMPARE(lists.documents(), found({ QStringLiteral("second.odt") }));
    QCOMPARE(lists.parseCount(), 8);
    QFile::setPermissions(xbelPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(lists.documents(), found({ QStringLiteral("third.odt") }));

    // Lists of sandboxed programs installed later are read; a list removed takes its files along.
    for (const char* program : { "org.gnome.TextEditor", "org.inkscape.Inkscape" }) {
        QVERIFY(
            write(home() + QStringLiteral("/.var/app/%1/data/recently-used.xbel").arg(QLatin1String(program)),
                xbel(bookmark("file:///d/" + QByteArray(program) + ".csv")))
                .size());
    }
    const QStringList sandboxed
        = found({ QStringLiteral("org.gnome.TextEditor.csv"), QStringLiteral("org.inkscape.Inkscape.csv") });
    QCOMPARE(lists.documents(), found({ QStringLiteral("third.odt") }) + sandboxed);
    QCOMPARE(lists.documents(), found({ QStringLiteral("third.odt") }) + sandboxed);
    QCOMPARE(lists.parseCount(), 11);
    QVERIFY(QFile::remove(xbelPath()));
    QCOMPARE(lists.documents(), sandboxed);
}

void TestDesktopRecentFiles::switchedOffListsAreNotRead()
{
    const QStringList all { QStringLiteral("/d/gtk.odt"), QStringLiteral("/d/office.odt"),
        QStringLiteral("/d/kde.odt") };
    QVERIFY(write(xbelPath(), xbel(bookmark("file:///d/gtk.odt"))).size());
    QVERIFY(write(m_env.platform()->configHomeFolder()
            + QStringLiteral("/libreoffice/4/user/registrymodifications.xcu"),
        xcu(historyItem("file:///d/office.odt")))
                .size());
    QVERIFY(write(m_env.platform()->dataHomeFolder() + QStringLiteral("/RecentDocuments/kde.odt.desktop"),
        kdeEntry("URL[$e]=file:///d/kde.odt"))
                .size());
    KConfig* config = KConfig::instance();
    const auto switches = { &KConfig::setReadRecentlyUsedXbel, &KConfig::setReadLibreOfficeHistory,
        &KConfig::setReadKdeRecentDocuments };
    for (int off = 0; off < 3; ++off) {
        for (int list = 0; list < 3; ++list)
            QVERIFY((config->*switches.begin()[list])(list != off));
        KDesktopRecentFiles lists;
        QStringList expected = all;
        expected.removeAt(off);
        QCOMPARE(lists.documents(), expected);
        QCOMPARE(lists.parseCount(), 2);
        QVERIFY((config->*switches.begin()[off])(true));
        QCOMPARE(lists.documents(), all);
    }
}

void TestDesktopRecentFiles::folderPatterns_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("excluded");
    QTest::newRow("a file below the folder")
        << QStringLiteral("/tmp/a/x.odt") << QStringLiteral("/tmp/") << true;
    QTest::newRow("a folder whose name only starts alike")
        << QStringLiteral("/tmpfiles/x.odt") << QStringLiteral("/tmp") << false;
    QTest::newRow("the home folder as ~")
        << QStringLiteral("/home/ann/.cache/x.odt") << QStringLiteral("~/.cache") << true;
    QTest::newRow("a name anywhere") << QStringLiteral("/home/ann/w/node_modules/a.csv")
                                     << QStringLiteral("node_modules") << true;
    QTest::newRow("a name anywhere, only whole")
        << QStringLiteral("/home/ann/my_node_modules/a.csv") << QStringLiteral("node_modules") << false;
    QTest::newRow("* within one name")
        << QStringLiteral("/media/usb1/Trash/x.odt") << QStringLiteral("/media/*/Trash") << true;
    QTest::newRow("* not across names")
        << QStringLiteral("/media/a/b/Trash/x.odt") << QStringLiteral("/media/*/Trash") << false;
    QTest::newRow("? for one character")
        << QStringLiteral("/home/ann/.Trash-1000/x.odt") << QStringLiteral(".Trash-????") << true;
    QTest::newRow("other characters stand for themselves")
        << QStringLiteral("/d/ab/x.odt") << QStringLiteral("/d/a.") << false;
}

void TestDesktopRecentFiles::folderPatterns()
{
    QFETCH(QString, path);
    QFETCH(QString, pattern);
    QFETCH(bool, excluded);
    QCOMPARE(KDesktopRecentFiles::matchesFolderPattern(path, pattern, QStringLiteral("/home/ann")), excluded);
}

void TestDesktopRecentFiles::aWriterReplacingTheListNeverLosesItsLastVersion()
{
    const QString folder = home() + QStringLiteral("/Documents/");
    QVERIFY(QDir().mkpath(m_env.platform()->dataHomeFolder()));
    KDiskFileManager scanner;
    scanner.setCycleInterval(1);
    scanner.startScan();
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("--write-xbel"), xbelPath(), folder });

    // Every scan finds one whole version of the list: the five files of one writing.
    QSet<QString> versions;
    QStringList mixed;
    QElapsedTimer writing;
    writing.start();
    while (writer.state() != QProcess::NotRunning && writing.elapsed() < 120000) {
        writer.waitForFinished(2);
        const QStringList found = scanner.foundFiles(4);
        const QString version = found.isEmpty() ? QString() : QFileInfo(found.first()).fileName().left(5);
        for (const QString& file : found) {
            if (found.size() != 5 || !QFileInfo(file).fileName().startsWith(version))
                mixed = found;
        }
        versions.insert(version);
    }
    QCOMPARE(writer.exitCode(), 0);
    QStringList last;
    for (int k = 0; k < 5; ++k)
        last << folder + QStringLiteral("v%1-%2.odt").arg(XbelVersions - 1, 4, 10, QLatin1Char('0')).arg(k);
    QTRY_COMPARE_WITH_TIMEOUT(scanner.foundFiles(4), last, 20000);
    scanner.stopScan();
    QVERIFY(scanner.wait(5000));
    QCOMPARE(mixed, QStringList());
    QVERIFY(versions.size() > 2); // the scanner saw the list change while it was written
}

void TestDesktopRecentFiles::listsAreReadAsStreamsUpToACap()
{
    // A list that grows after it was opened is read no further than the cap.
    QByteArray gtk = xbel(bookmark("file:///d/a.odt"));
    QByteArray office = xcu(historyItem("file:///d/a.odt"));
    QList<KRecentEntry> entries;
    QStringList files;
    for (const int less : { 1, 0 }) {
        QBuffer gtkList(&gtk);
        QBuffer officeList(&office);
        QVERIFY(gtkList.open(QIODevice::ReadOnly) && officeList.open(QIODevice::ReadOnly));
        const KReadResult result = less ? KReadResult::TooLong : KReadResult::Complete;
        QCOMPARE(KRecentXbel::parse(&gtkList, gtk.size() - less, &entries), result);
        QCOMPARE(KRecentLibreOffice::parse(&officeList, office.size() - less, &files), result);
    }
    QCOMPARE(files, QStringList { QStringLiteral("/d/a.odt") });

    // A list over the cap is not read, one below it costs a window's memory.
    const QList<QByteArray> kib
        = KTestEnvironment::runSelf({ QStringLiteral("--read-huge-lists") }, {}, 120000)
              .simplified()
              .split(' ');
    QCOMPARE(kib.size(), 2);
    const qint64 before = kib.at(0).toLongLong();
    const qint64 after = kib.at(1).toLongLong();
    qInfo("peak resident memory: %lld KiB before reading, %lld KiB after", before, after);
    QVERIFY(after - before < 8 * 1024);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    QVERIFY(after < 64 * 1024);
#endif
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--write-xbel") == 0)
        return writeXbelVersions(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]));
    if (argc == 2 && qstrcmp(argv[1], "--read-huge-lists") == 0)
        return readHugeLists();
    TestDesktopRecentFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktoprecentfiles.moc"
