#include "core/kcommon.h"
#include "kpicturecatalog.h"
#include "resources/kpictures.h"

#include <QDir>
#include <QFile>
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

const KPictureSpec* find(const QString& name)
{
    for (const KPictureSpec& spec : KPictureCatalog::all()) {
        if (spec.fileName() == name)
            return &spec;
    }
    return nullptr;
}

QImage load(const QString& name)
{
    const KPictureSpec* spec = find(name);
    return spec ? QImageReader(placeOf(*spec)).read() : QImage();
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

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyPictureLiesWhereThePlugInLooks_data();
    void everyPictureLiesWhereThePlugInLooks();
    void theFoldersHoldNothingElse();
    void picturesFitTheirWidgets_data();
    void picturesFitTheirWidgets();
    void buttonsFitTheFirstBackupDialog();
    void theSplitButtonsHalvesMatch();
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
        QMovie movie(path);
        QVERIFY(movie.isValid());
        QCOMPARE(movie.frameCount(), spec.frames);
        QVERIFY(movie.frameCount() >= 2);
        QCOMPARE(QImageReader(path).loopCount(), -1);
        QImage previous;
        for (int f = 0; f < movie.frameCount(); ++f) {
            QVERIFY(movie.jumpToFrame(f));
            const QImage frame = movie.currentImage();
            QCOMPARE(frame.size(), spec.fileSize());
            QVERIFY2(frame != previous, qPrintable(QStringLiteral("frame %1 does not move").arg(f)));
            previous = frame;
        }
        break;
    }
    case KPictureSpec::Ico: {
        const QVector<int> sizes = KPictureCatalog::iconSizes();
        QCOMPARE(reader.imageCount(), sizes.size());
        for (int i = 0; i < sizes.size(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            QCOMPARE(reader.read().size(), QSize(sizes.at(i), sizes.at(i)));
        }
        break;
    }
    case KPictureSpec::Jpeg:
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

// What the widgets need of their pictures, whatever the generator's table says.
void TestPictures::picturesFitTheirWidgets_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QSize>("smallest"); // of one frame
    QTest::addColumn<QSize>("largest");

    const auto list = [](std::initializer_list<const char*> names) {
        QStringList result;
        for (const char* name : names)
            result << QString::fromUtf8(name);
        return result;
    };
    QTest::newRow("title buttons are normal and hover frames above the strip's 5-pixel margin")
        << list({ "关闭.png", "最小化.png", "最大化.png", "还原.png", "设置.png" }) << 2 << QSize(16, 16)
        << QSize(40, 25);
    QTest::newRow("tabs are border images of the tab's 161 x 38")
        << list({ "首页a.png", "首页b.png", "首页.png", "错编恢复a.png", "错编恢复b.png", "错编恢复.png",
               "误删找回a.png", "误删找回b.png", "误删找回.png" })
        << 1 << QSize(161, 38) << QSize(161, 38);
    QTest::newRow("the switch is one frame the size of its 75 x 23 button")
        << list({ "已开启.png", "已关闭.png" }) << 1 << QSize(75, 23) << QSize(75, 23);
    QTest::newRow("the logos fill their 64 x 64 places")
        << list({ "绿色图标.png", "红色图标.png", "Vaultkeeplogo64_64.png" }) << 1 << QSize(64, 64)
        << QSize(64, 64);
    QTest::newRow("the home image buttons fit their 188 x 188 labels")
        << list({ "错编恢复01.png", "错编恢复01a.png", "误删找回02.png", "误删找回02a.png" }) << 1
        << QSize(1, 1) << QSize(188, 188);
    QTest::newRow("the line beside the logo fits its 259 x 18 label")
        << list({ "首页提示图_Open.png", "首页提示图_Close.png" }) << 1 << QSize(1, 1) << QSize(259, 18);
    QTest::newRow("tip buttons and closes are normal and hover frames") << list(
        { "short_button.png", "long_button_white.png", "tip_close.png", "关闭_tip.png",
            "打开Vaultkeep_按钮.png" }) << 2 << QSize(16, 16) << QSize(200, 40);
    QTest::newRow("the tip logo runs the height of the tips, 132 and 133")
        << list({ "long_logo.png" }) << 1 << QSize(1, 132) << QSize(200, 133);
    QTest::newRow("file icons are drawn at 32 x 32")
        << list({ "excel.png", "unkownFile.png" }) << 1 << QSize(32, 32) << QSize(32, 32);
    QTest::newRow("filter entries' images fit the 159 x 32 entries")
        << list({ "group_item_normal.png", "group_item_hot.png" }) << 1 << QSize(1, 1) << QSize(159, 32);
    QTest::newRow("the clear-list button fits the strip right of x 692, below y 5")
        << list({ "清空列表01.png", "清空列表01a.png" }) << 1 << QSize(1, 1) << QSize(106, 35);
    QTest::newRow("row buttons fit the 45-pixel version row")
        << list({ "版本恢复.png", "版本恢复_鼠标移上去.png", "赶紧看看.png", "赶紧看看a.png",
               "找回至桌面常态.png", "找回至桌面鼠标hover.png", "清空.png" })
        << 1 << QSize(1, 1) << QSize(200, 45);
    QTest::newRow("the restore split button's halves are normal and hover frames")
        << list({ "找回到桌面ab.png", "pullButton.png" }) << 2 << QSize(1, 1) << QSize(200, 45);
}

void TestPictures::picturesFitTheirWidgets()
{
    QFETCH(QStringList, names);
    QFETCH(int, frames);
    QFETCH(QSize, smallest);
    QFETCH(QSize, largest);
    for (const QString& name : names) {
        const QImage image = load(name);
        QVERIFY2(!image.isNull(), qPrintable(name));
        QVERIFY2(image.width() % frames == 0, qPrintable(name));
        const QSize frame(image.width() / frames, image.height());
        QVERIFY2(frame.expandedTo(smallest) == frame && frame.boundedTo(largest) == frame,
            qPrintable(
                QStringLiteral("%1: a frame of %2 x %3").arg(name).arg(frame.width()).arg(frame.height())));
    }
}

void TestPictures::buttonsFitTheFirstBackupDialog()
{
    // The dialog places its action button 35 pixels from the right and 58 from the bottom; it
    // must lie inside the background and clear of the close button in the top corner.
    const QImage background = load(QStringLiteral("tipOpenVaultkeepBg.png"));
    const QSize action(load(QStringLiteral("打开Vaultkeep_按钮.png")).width() / 2,
        load(QStringLiteral("打开Vaultkeep_按钮.png")).height());
    const QSize close(
        load(QStringLiteral("关闭_tip.png")).width() / 2, load(QStringLiteral("关闭_tip.png")).height());
    const QRect button(background.width() - action.width() - 35, background.height() - action.height() - 58,
        action.width(), action.height());
    QVERIFY(button.left() >= 0);
    QVERIFY(button.top() >= close.height());
}

void TestPictures::theSplitButtonsHalvesMatch()
{
    QCOMPARE(
        load(QStringLiteral("找回到桌面ab.png")).height(), load(QStringLiteral("pullButton.png")).height());
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
