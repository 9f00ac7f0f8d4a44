#include "core/kcommon.h"
#include "core/kuilanguage.h"
#include "kpicturecatalog.h"
#include "resources/kpictures.h"

#include <QImageReader>
#include <QtTest>

namespace {

// Every picture name the product's sources use: ":/Icons/Icons/..." resources, and bare file
// names, which are skin files reached through skinImagePath. Tests, tools and the stand-in host
// name their own.
QStringList picturesNamedInTheSources()
{
    const QString sourceDir = QStringLiteral(VK_SOURCE_DIR);
    const QSet<QString> skipped = { QStringLiteral("tests"), QStringLiteral("tools"), QStringLiteral("bench"),
        QStringLiteral("host") };
    const QRegularExpression literal(QStringLiteral("\"([^\"\\n]+\\.(?:png|jpg|gif|ico))\""));
    const QRegularExpression uiResource(QStringLiteral(">(:/Icons/Icons/[^<]+\\.(?:png|jpg|gif|ico))<"));
    QSet<QString> names;
    QDirIterator files(sourceDir, { QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui") },
        QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString top = path.mid(sourceDir.size() + 1).section(QLatin1Char('/'), 0, 0);
        if (skipped.contains(top) || top.startsWith(QLatin1String("build"))
            || top.startsWith(QLatin1Char('.')))
            continue;
        QFile file(path);
        const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        for (const QRegularExpression& pattern : { literal, uiResource }) {
            auto matches = pattern.globalMatch(text);
            while (matches.hasNext()) {
                const QString name = matches.next().captured(1);
                if (name.startsWith(QLatin1String(":/Icons/Icons/"))
                    || (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('%'))))
                    names.insert(name);
            }
        }
    }
    QStringList sorted = names.values();
    sorted.sort();
    return sorted;
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyPictureTheCodeNamesExists_data();
    void everyPictureTheCodeNamesExists();
    void anEnglishInterfaceShowsEnglishWordsInPictures();
};

void TestPictures::initTestCase()
{
    KPictures::registerResources();
    KPictures::registerResources(); // a second call must do no harm
}

void TestPictures::everyPictureTheCodeNamesExists_data()
{
    QTest::addColumn<QString>("path");
    const QStringList names = picturesNamedInTheSources();
    // The scan itself works: names known to be used are found.
    QVERIFY(names.contains(QStringLiteral(":/Icons/Icons/关闭.png"))
        && names.contains(QStringLiteral("titlelogo.png")));
    for (const QString& name : names)
        QTest::newRow(qPrintable(name))
            << (name.startsWith(QLatin1Char(':')) ? name : KCommon::skinImagePath(name));
}

void TestPictures::everyPictureTheCodeNamesExists()
{
    QFETCH(QString, path);
    QImageReader reader(path);
    QVERIFY2(!reader.read().isNull(), qPrintable(path + QStringLiteral(": ") + reader.errorString()));
}

void TestPictures::anEnglishInterfaceShowsEnglishWordsInPictures()
{
    int english = 0;
    for (const KPictureSpec& spec : KPictureCatalog::all()) {
        const QString path = spec.place == KPicturePlace::Resource
            ? QStringLiteral(":/Icons/Icons/") + spec.fileName()
            : KCommon::skinImagePath(spec.fileName());
        KUiLanguage::setCurrent(KUiLanguage::Language::English);
        const QString shown = KCommon::pictureInUiLanguage(path);
        KUiLanguage::setCurrent(KUiLanguage::Language::Chinese);
        QCOMPARE(KCommon::pictureInUiLanguage(path), path);
        const bool words = spec.carriesWords();
        QVERIFY2(shown.endsWith(QStringLiteral("/en/") + spec.fileName()) == words, qPrintable(shown));
        QVERIFY2(words == (QImage(shown) != QImage(path)), qPrintable(shown));
        english += words;
    }
    QVERIFY(english >= 20); // tabs, home page buttons, tips, captioned buttons
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
