#include "Widgets/icons/kfileiconprovider.h"
#include "core/kcommon.h"
#include "core/kfileiconsink.h"
#include "ktestenvironment.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace {

QImage pixelsOf(const QIcon& icon, const QSize& size)
{
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestFileIconProvider : public QObject
{
    Q_OBJECT

private slots:
    void xlsxInCapitalsGivesTheEmbeddedIcon();
    void unknownSuffixGivesTheUnknownIconAndStaysUnknown();
    void workerRegistersWhileTheGuiThreadReads();
    void kindsWithoutAPictureOfOurOwnTakeTheThemesIcon_data();
    void kindsWithoutAPictureOfOurOwnTakeTheThemesIcon();

private:
    KTestEnvironment m_env;
};

void TestFileIconProvider::xlsxInCapitalsGivesTheEmbeddedIcon()
{
    KFileIconProvider provider;
    const QImage embedded(QStringLiteral(":/Icons/Icons/excel.png"));
    QVERIFY(!embedded.isNull());

    QCOMPARE(pixelsOf(provider.iconForFile(QStringLiteral("/home/ann/REPORT.XLSX")), embedded.size()),
        embedded.convertToFormat(QImage::Format_ARGB32));

    // An existing spreadsheet does not replace the embedded picture: the first icon is kept.
    provider.registerFile(m_env.writeFile(QStringLiteral("sheets/budget.xlsx"), "PK"));
    QCOMPARE(pixelsOf(provider.iconForFile(QStringLiteral("x.xlsx")), embedded.size()),
        embedded.convertToFormat(QImage::Format_ARGB32));
}

void TestFileIconProvider::unknownSuffixGivesTheUnknownIconAndStaysUnknown()
{
    KFileIconProvider provider;
    const QImage unknown(KCommon::skinImagePath(QStringLiteral("unkownFile.png")));
    QVERIFY(!unknown.isNull());

    QCOMPARE(pixelsOf(provider.iconForFile(QStringLiteral("/gone/plan.zq9")), unknown.size()),
        unknown.convertToFormat(QImage::Format_ARGB32));
    QVERIFY(!provider.hasIcon(QStringLiteral("zq9")));
}

void TestFileIconProvider::workerRegistersWhileTheGuiThreadReads()
{
    KFileIconProvider provider;
    QStringList paths;
    for (int i = 0; i < 40; ++i)
        paths.append(m_env.writeFile(QStringLiteral("many/file%1.s%2").arg(i).arg(i % 20), "x"));

    std::atomic<bool> done { false };
    std::thread worker([&] {
        for (int round = 0; round < 5; ++round) {
            for (const QString& path : qAsConst(paths))
                KFileIconSink::registerFile(path);
        }
        done = true;
    });
    int nullIcons = 0;
    while (!done) {
        for (int i = 0; i < 20; ++i)
            nullIcons += provider.iconForFile(QStringLiteral("x.s%1").arg(i)).isNull() ? 1 : 0;
        QCoreApplication::processEvents();
    }
    worker.join();
    QCOMPARE(nullIcons, 0);
    for (int i = 0; i < 20; ++i)
        QTRY_VERIFY(provider.hasIcon(QStringLiteral("s%1").arg(i)));
}

void TestFileIconProvider::kindsWithoutAPictureOfOurOwnTakeTheThemesIcon_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("a gone file: its type's icon") << "/gone/Report.PDF" << false << QColor(Qt::red);
    QTest::newRow("an existing file: its type's icon too") << "docs/report.pdf" << true << QColor(Qt::red);
    QTest::newRow("a type without one: its family's icon") << "/gone/budget.ods" << false << QColor(Qt::blue);
}

void TestFileIconProvider::kindsWithoutAPictureOfOurOwnTakeTheThemesIcon()
{
    QFETCH(QString, file);
    QFETCH(bool, exists);
    QFETCH(QColor, colour);
    // A desktop theme with two icons for types of files.
    const QString themes = m_env.makeFolder(QStringLiteral("icons"));
    QVERIFY(!m_env
                 .writeFile(themes + QStringLiteral("vktest/index.theme"),
                     "[Icon Theme]\nName=vktest\nDirectories=32x32/mimetypes\n\n"
                     "[32x32/mimetypes]\nSize=32\nType=Fixed\nContext=MimeTypes\n")
                 .isEmpty());
    m_env.makeFolder(QStringLiteral("icons/vktest/32x32/mimetypes"));
    const QStringList names { QStringLiteral("application-pdf"), QStringLiteral("x-office-spreadsheet") };
    const QList<QColor> colours { Qt::red, Qt::blue };
    for (int i = 0; i < names.size(); ++i) {
        QImage square(32, 32, QImage::Format_ARGB32);
        square.fill(colours.at(i));
        QVERIFY(square.save(themes + QStringLiteral("vktest/32x32/mimetypes/%1.png").arg(names.at(i))));
    }
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    QIcon::setThemeSearchPaths({ themes });
    QIcon::setThemeName(QStringLiteral("vktest"));

    KFileIconProvider provider;
    if (exists)
        provider.registerFile(file = m_env.writeFile(file, "%PDF"));
    const QImage shown = pixelsOf(provider.iconForFile(file), QSize(32, 32));
    QIcon::setThemeName(theme);
    QIcon::setThemeSearchPaths(searchPaths);
    QCOMPARE(shown.pixelColor(16, 16), colour);
}

QTEST_MAIN(TestFileIconProvider)
#include "tst_fileiconprovider.moc"
