#include "core/kcommon.h"
#include "kpicturecatalog.h"
#include "resources/kpictures.h"

#include <QImageReader>
#include <QMovie>
#include <QtTest>

namespace {

QString placeOf(const KPictureSpec& spec)
{
    // The two places the plug-in reads from: its resources and the skin folder beside the
    // executable (this test runs from the build's bin/, like the host).
    return spec.place == KPicturePlace::Resource ? QStringLiteral(":/Icons/Icons/") + spec.fileName()
                                                 : KCommon::skinImagePath(spec.fileName());
}

// True when the picture shows something: not one flat colour, not fully transparent.
bool showsSomething(const QImage& image)
{
    const QRgb first = image.pixel(0, 0);
    bool varies = false, visible = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            varies = varies || image.pixel(x, y) != first;
            visible = visible || qAlpha(image.pixel(x, y)) > 0;
        }
    }
    return varies && visible;
}

// Every picture name the product's sources use: ":/Icons/Icons/..." resources, and bare file
// names, which are skin files reached through skinImagePath. Tests and tools name their own.
QStringList picturesNamedInTheSources()
{
    const QString sourceDir = QStringLiteral(VK_SOURCE_DIR);
    const QSet<QString> skipped
        = { QStringLiteral("tests"), QStringLiteral("tools"), QStringLiteral("bench") };
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
    void everyPictureLiesWhereThePlugInLooks_data();
    void everyPictureLiesWhereThePlugInLooks();
    void theFoldersHoldNothingElse();
    void everyPictureTheCodeNamesExists_data();
    void everyPictureTheCodeNamesExists();
};

void TestPictures::initTestCase()
{
    KPictures::registerResources();
    KPictures::registerResources(); // a second call must do no harm
}

void TestPictures::everyPictureLiesWhereThePlugInLooks_data()
{
    QTest::addColumn<int>("index");
    const QVector<KPictureSpec>& all = KPictureCatalog::all();
    for (int i = 0; i < all.size(); ++i) {
        const bool resource = all.at(i).place == KPicturePlace::Resource;
        QTest::newRow(qPrintable(all.at(i).fileName()
            + (resource ? QStringLiteral(" is compiled in") : QStringLiteral(" is a skin file"))))
            << i;
    }
}

void TestPictures::everyPictureLiesWhereThePlugInLooks()
{
    QFETCH(int, index);
    const KPictureSpec& spec = KPictureCatalog::all().at(index);
    const QString path = placeOf(spec);

    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    QVERIFY2(file.readAll() == spec.encode(),
        "the file differs from what the generator paints now: a stale build, or painting that "
        "depends on the run");

    QImageReader reader(path);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), spec.fileSize());
    QVERIFY(showsSomething(image));

    switch (spec.format()) {
    case KPictureSpec::Png: {
        // The states of a strip must look different from one another.
        QCOMPARE(image.width() % spec.frames, 0);
        const int width = image.width() / spec.frames;
        for (int f = 1; f < spec.frames; ++f) {
            QVERIFY2(image.copy(f * width, 0, width, image.height())
                    != image.copy((f - 1) * width, 0, width, image.height()),
                qPrintable(QStringLiteral("frames %1 and %2 look the same").arg(f - 1).arg(f)));
        }
        break;
    }
    case KPictureSpec::Gif: {
        // An animation whose frames move.
        QMovie movie(path);
        QVERIFY(movie.frameCount() >= 2);
        QImage previous;
        for (int f = 0; f < movie.frameCount(); ++f) {
            QVERIFY(movie.jumpToFrame(f));
            QVERIFY2(movie.currentImage() != previous,
                qPrintable(QStringLiteral("frame %1 does not move").arg(f)));
            previous = movie.currentImage();
        }
        break;
    }
    default:
        break;
    }
}

void TestPictures::theFoldersHoldNothingElse()
{
    QStringList resources, skins;
    for (const KPictureSpec& spec : KPictureCatalog::all())
        (spec.place == KPicturePlace::Resource ? resources : skins).append(spec.fileName());
    resources.sort();
    skins.sort();
    QCOMPARE(QDir(QStringLiteral(":/Icons/Icons")).entryList(QDir::Files, QDir::Name), resources);
    QCOMPARE(QDir(KCommon::skinImagePath(QString())).entryList(QDir::Files, QDir::Name), skins);
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

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
