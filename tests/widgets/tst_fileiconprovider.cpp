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

QImage square(const QColor& colour)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

} // namespace

// On a desktop theme with icons for two types of files: PDF red, spreadsheets blue.
class TestFileIconProvider : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void iconOfAFile_data();
    void iconOfAFile();
    void workerRegistersWhileTheGuiThreadReads();

private:
    KTestEnvironment m_env;
    const QStringList m_searchPaths = QIcon::themeSearchPaths();
    const QString m_theme = QIcon::themeName();
};

void TestFileIconProvider::initTestCase()
{
    const QString themes = m_env.makeFolder(QStringLiteral("icons"));
    QVERIFY(!m_env
                 .writeFile(themes + QStringLiteral("vktest/index.theme"),
                     "[Icon Theme]\nName=vktest\nDirectories=32x32/mimetypes\n\n"
                     "[32x32/mimetypes]\nSize=32\nType=Fixed\nContext=MimeTypes\n")
                 .isEmpty());
    const QString icons = m_env.makeFolder(QStringLiteral("icons/vktest/32x32/mimetypes"));
    QVERIFY(square(Qt::red).save(icons + QStringLiteral("application-pdf.png")));
    QVERIFY(square(Qt::blue).save(icons + QStringLiteral("x-office-spreadsheet.png")));
    QIcon::setThemeSearchPaths({ themes });
    QIcon::setThemeName(QStringLiteral("vktest"));
}

void TestFileIconProvider::cleanupTestCase()
{
    QIcon::setThemeName(m_theme);
    QIcon::setThemeSearchPaths(m_searchPaths);
}

void TestFileIconProvider::iconOfAFile_data()
{
    QTest::addColumn<QString>("file"); // relative: made and registered first
    QTest::addColumn<QImage>("icon");
    const QImage excel
        = QImage(QStringLiteral(":/Icons/Icons/excel.png")).convertToFormat(QImage::Format_ARGB32);
    QTest::newRow("a suffix in capitals gives the embedded picture") << "/home/ann/REPORT.XLSX" << excel;
    QTest::newRow("an existing spreadsheet keeps the embedded picture, not the theme's")
        << "sheets/budget.xlsx" << excel;
    QTest::newRow("an unknown suffix gives the unknown picture and stays unknown")
        << "/gone/plan.zq9"
        << QImage(KCommon::skinImagePath(QStringLiteral("unkownFile.png")))
               .convertToFormat(QImage::Format_ARGB32);
    QTest::newRow("a gone file without a picture of ours: its type's icon")
        << "/gone/Report.PDF" << square(Qt::red);
    QTest::newRow("an existing file: its type's icon too") << "docs/report.pdf" << square(Qt::red);
    QTest::newRow("a type without one: its family's icon") << "/gone/budget.ods" << square(Qt::blue);
}

void TestFileIconProvider::iconOfAFile()
{
    QFETCH(QString, file);
    QFETCH(QImage, icon);
    QVERIFY(!icon.isNull());
    KFileIconProvider provider;
    if (!file.startsWith(QLatin1Char('/')))
        provider.registerFile(file = m_env.writeFile(file, "PK"));
    QCOMPARE(pixelsOf(provider.iconForFile(file), icon.size()), icon);
    if (file.endsWith(QLatin1String(".zq9")))
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

QTEST_MAIN(TestFileIconProvider)
#include "tst_fileiconprovider.moc"
