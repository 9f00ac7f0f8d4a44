#include "core/kcommon.h"

#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

// Every picture the product code names, found by reading the sources, must exist where the code
// looks for it and decode to a picture: compiled-in resources under ":/Icons/Icons/", skin files
// (bare file names, reached through skinImagePath) in the VaultkeepSkin folder beside the
// executables.
class TestPictureNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pictureExists_data();
    void pictureExists();

private:
    QSet<QString> m_names;
};

void TestPictureNames::initTestCase()
{
    const QString sourceDir = QStringLiteral(VK_SOURCE_DIR);
    // Tests and tools name pictures of their own; the product's are everywhere else.
    const QSet<QString> skipped
        = { QStringLiteral("tests"), QStringLiteral("tools"), QStringLiteral("bench") };
    const QRegularExpression literal(QStringLiteral("\"([^\"\\n]+\\.(?:png|jpg|gif|ico))\""));
    const QRegularExpression uiResource(QStringLiteral(">(:/Icons/Icons/[^<]+\\.(?:png|jpg|gif|ico))<"));

    QDirIterator files(sourceDir, { QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui") },
        QDir::Files, QDirIterator::Subdirectories);
    int scanned = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        const QString top = path.mid(sourceDir.size() + 1).section(QLatin1Char('/'), 0, 0);
        if (skipped.contains(top) || top.startsWith(QLatin1String("build"))
            || top.startsWith(QLatin1Char('.')))
            continue;
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QString text = QString::fromUtf8(file.readAll());
        ++scanned;
        for (const QRegularExpression& pattern : { literal, uiResource }) {
            auto matches = pattern.globalMatch(text);
            while (matches.hasNext()) {
                const QString name = matches.next().captured(1);
                const bool resource = name.startsWith(QLatin1String(":/Icons/Icons/"));
                if (resource || (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('%'))))
                    m_names.insert(name);
            }
        }
    }
    QVERIFY(scanned > 10);
    // The scan itself works: names known to be used are found.
    QVERIFY(m_names.contains(QStringLiteral(":/Icons/Icons/关闭.png")));
    QVERIFY(m_names.contains(QStringLiteral("titlelogo.png")));
}

void TestPictureNames::pictureExists_data()
{
    QTest::addColumn<QString>("path");
    QStringList names = m_names.values();
    names.sort();
    for (const QString& name : qAsConst(names)) {
        const QString path = name.startsWith(QLatin1Char(':')) ? name : KCommon::skinImagePath(name);
        QTest::newRow(qPrintable(name)) << path;
    }
}

void TestPictureNames::pictureExists()
{
    QFETCH(QString, path);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QImageReader reader(path);
    const QImage picture = reader.read();
    QVERIFY2(!picture.isNull(), qPrintable(path + QStringLiteral(": ") + reader.errorString()));
    QVERIFY(picture.width() > 0 && picture.height() > 0);
}

QTEST_MAIN(TestPictureNames)
#include "tst_picturenames.moc"
