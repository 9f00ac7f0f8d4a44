#include "Widgets/controls/kcustombutton.h"
#include "Widgets/title/ksystemtitle.h"
#include "core/kcommon.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "platform/kregistry.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QString SkinKey = QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium\\Skin");
const QString BuiltInSkin = QStringLiteral(":/Icons/Icons/皮肤背景.jpg");

QImage comparable(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// A frameless top-level window holding a title strip, as the main window does.
struct TitledWindow
{
    TitledWindow()
    {
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.resize(659, 200);
        title = new KSystemTitle(&window);
        title->setGeometry(0, 0, 659, 30);
    }
    QWidget window;
    KSystemTitle* title;
};

} // namespace

class TestSystemTitle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void dragging_data();
    void dragging();
    void draggingNeedsTheLeftButtonHeld();
    void skinBackground_data();
    void skinBackground();
    void maximiseButtonTogglesAndChangesItsPicture();
    void buttonsReachTheirSignals();

private:
    QScopedPointer<KTestEnvironment> m_env;
};

void TestSystemTitle::initTestCase()
{
    m_env.reset(new KTestEnvironment);
}

void TestSystemTitle::init()
{
    KRegistryKey(SkinKey).removeKey();
}

void TestSystemTitle::dragging_data()
{
    addDragRuleRows(659);
}

void TestSystemTitle::dragging()
{
    QFETCH(QPoint, target);
    QFETCH(bool, moves);

    TitledWindow titled;
    titled.window.move(100, 100);
    titled.window.show();
    const QPoint start = titled.window.pos();
    const QPoint grip(200, 10);
    press(titled.title, grip);
    drag(titled.title, grip + (target - start));
    QCOMPARE(titled.window.pos(), moves ? target : start);
    release(titled.title, grip);
}

void TestSystemTitle::draggingNeedsTheLeftButtonHeld()
{
    TitledWindow titled;
    titled.window.move(100, 100);
    titled.window.show();
    const QPoint start = titled.window.pos();
    // Moves without a press, after a release and with only the right button held do nothing.
    sendMouse(titled.title, QEvent::MouseMove, QPoint(250, 20), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(titled.window.pos(), start);
    press(titled.title, QPoint(200, 10));
    release(titled.title, QPoint(200, 10));
    drag(titled.title, QPoint(250, 20));
    QCOMPARE(titled.window.pos(), start);
    press(titled.title, QPoint(200, 10), Qt::RightButton);
    sendMouse(titled.title, QEvent::MouseMove, QPoint(250, 20), Qt::NoButton, Qt::RightButton);
    QCOMPARE(titled.window.pos(), start);
    drag(titled.title, QPoint(250, 20));
    QCOMPARE(titled.window.pos(), start + QPoint(50, 10));
}

void TestSystemTitle::skinBackground_data()
{
    QTest::addColumn<bool>("writeValues");
    QTest::addColumn<bool>("pictureExists");
    QTest::addColumn<bool>("builtIn");
    QTest::newRow("without registry values the built-in picture shows") << false << false << true;
    QTest::newRow("the host's existing skin picture shows") << true << true << false;
    QTest::newRow("a skin picture that is gone falls back to the built-in one") << true << false << true;
}

void TestSystemTitle::skinBackground()
{
    QFETCH(bool, writeValues);
    QFETCH(bool, pictureExists);
    QFETCH(bool, builtIn);

    const QString folder = m_env->makeFolder(QStringLiteral("skins/blue"));
    const QString picture = folder + QStringLiteral("skin.png");
    QImage skin(40, 30, QImage::Format_ARGB32);
    skin.fill(QColor(10, 80, 160));
    QVERIFY(skin.save(picture));
    if (!pictureExists)
        QVERIFY(QFile::remove(picture));
    if (writeValues) {
        KRegistryKey key(SkinKey);
        key.setValue(QStringLiteral("Path"), folder);
        key.setValue(QStringLiteral("Name"), QStringLiteral("skin.png"));
    }

    TitledWindow titled;
    const QImage shown = titled.title->palette().brush(QPalette::Window).texture().toImage();
    QVERIFY(!shown.isNull());
    QVERIFY(titled.title->autoFillBackground());
    QCOMPARE(comparable(shown), comparable(QImage(builtIn ? BuiltInSkin : picture)));

    // A skin chosen later shows on the next change.
    if (builtIn && writeValues) {
        QVERIFY(skin.save(picture));
        titled.title->onChangeSkin();
        QCOMPARE(comparable(titled.title->palette().brush(QPalette::Window).texture().toImage()),
            comparable(skin));
    }
}

void TestSystemTitle::maximiseButtonTogglesAndChangesItsPicture()
{
    TitledWindow titled;
    titled.window.show();
    auto* mix = titled.title->findChild<KCustomButton*>(QStringLiteral("btnMix"));
    QVERIFY(mix);
    QCOMPARE(mix->picName(), QStringLiteral(":/Icons/Icons/最大化.png"));
    QCOMPARE(mix->strip().frameCount(), 2);

    QTest::mouseClick(mix, Qt::LeftButton);
    QVERIFY(titled.window.isMaximized());
    QCOMPARE(mix->picName(), QStringLiteral(":/Icons/Icons/还原.png"));
    QCOMPARE(mix->strip().frameCount(), 2);

    QTest::mouseClick(mix, Qt::LeftButton);
    QVERIFY(!titled.window.isMaximized());
    QCOMPARE(mix->picName(), QStringLiteral(":/Icons/Icons/最大化.png"));
}

void TestSystemTitle::buttonsReachTheirSignals()
{
    TitledWindow titled;
    titled.window.show();
    QSignalSpy closed(titled.title, &KSystemTitle::sigCloseClicked);
    QSignalSpy setting(titled.title, &KSystemTitle::settingClicked);

    QTest::mouseClick(titled.title->findChild<KCustomButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QTest::mouseClick(titled.title->findChild<KCustomButton*>(QStringLiteral("btnSetting")), Qt::LeftButton);
    QCOMPARE(setting.count(), 1);
    QTest::mouseClick(titled.title->findChild<KCustomButton*>(QStringLiteral("btnMin")), Qt::LeftButton);
    QVERIFY(titled.window.isMinimized());

}

QTEST_MAIN(TestSystemTitle)
#include "tst_systemtitle.moc"
