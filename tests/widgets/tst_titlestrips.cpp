#include "Widgets/controls/kcustombutton.h"
#include "Widgets/dialogs/kcustomdlgtitlewidget.h"
#include "Widgets/dialogs/kskindialog.h"
#include "Widgets/title/ksystemtitle.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "platform/kregistry.h"

#include <QScreen>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QString SkinKey = QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium\\Skin");

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

// The main window's title strip and the dialogs' title strips.
class TestTitleStrips : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dragging_data();
    void dragging();
    void skinBackground_data();
    void skinBackground();
    void maximiseButtonTogglesAndChangesItsPicture();

private:
    QString picture(const QString& name) const { return m_env.path(name); }

    KTestEnvironment m_env;
};

void TestTitleStrips::initTestCase()
{
    QVERIFY(writeStrip(picture(QStringLiteral("close.png")), { Qt::red, Qt::darkRed }, 20, 20));
}

// Targets just inside and just outside each limit of the primary screen's work area, for the
// main window (659 pixels wide) and a dialog (320).
void TestTitleStrips::dragging_data()
{
    QTest::addColumn<bool>("dialog");
    QTest::addColumn<QPoint>("target");
    QTest::addColumn<bool>("moves");
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    const int lowest = workArea.bottom() - 21;
    for (const bool dialog : { false, true }) {
        const char* window = dialog ? "dialog" : "main window";
        const int leftmost = workArea.left() - (dialog ? 320 : 659) / 2 + 1;
        QTest::addRow("%s: beyond the top and the right edge is allowed", window)
            << dialog << QPoint(workArea.right(), -50) << true;
        QTest::addRow("%s: the top 21 pixels above the work area's bottom is allowed", window)
            << dialog << QPoint(100, lowest) << true;
        QTest::addRow("%s: the top 20 pixels above the work area's bottom is refused", window)
            << dialog << QPoint(100, lowest + 1) << false;
        QTest::addRow("%s: less than half past the left edge is allowed", window)
            << dialog << QPoint(leftmost, 100) << true;
        QTest::addRow("%s: half the window past the left edge is refused", window)
            << dialog << QPoint(leftmost - 1, 100) << false;
    }
}

void TestTitleStrips::dragging()
{
    QFETCH(bool, dialog);
    QFETCH(QPoint, target);
    QFETCH(bool, moves);

    TitledWindow titled;
    KSkinDialog skin(QStringLiteral("提示"), QString(), picture(QStringLiteral("close.png")), 2, 320, 200);
    QWidget* window = dialog ? static_cast<QWidget*>(&skin) : &titled.window;
    QWidget* title = dialog ? static_cast<QWidget*>(skin.titleWidget()) : titled.title;
    window->move(100, 100);
    window->show();
    const QPoint start = window->pos();
    const QPoint grip(50, 10);
    press(title, grip);
    drag(title, grip + (target - start));
    QCOMPARE(window->pos(), moves ? target : start);
    release(title, grip);
}

void TestTitleStrips::skinBackground_data()
{
    QTest::addColumn<bool>("writeValues");
    QTest::addColumn<bool>("pictureExists");
    QTest::newRow("without registry values the built-in picture shows") << false << false;
    QTest::newRow("the host's existing skin picture shows") << true << true;
    QTest::newRow("a skin picture that is gone falls back to the built-in one") << true << false;
}

void TestTitleStrips::skinBackground()
{
    QFETCH(bool, writeValues);
    QFETCH(bool, pictureExists);

    KRegistryKey(SkinKey).removeKey();
    const QString folder = m_env.makeFolder(QStringLiteral("skins/blue"));
    QFile::remove(folder + QStringLiteral("skin.png"));
    if (pictureExists)
        QVERIFY(writeStrip(folder + QStringLiteral("skin.png"), { QColor(10, 80, 160) }, 40, 30));
    if (writeValues) {
        KRegistryKey key(SkinKey);
        key.setValue(QStringLiteral("Path"), folder);
        key.setValue(QStringLiteral("Name"), QStringLiteral("skin.png"));
    }

    TitledWindow titled;
    QVERIFY(titled.title->autoFillBackground());
    QCOMPARE(comparable(titled.title->palette().brush(QPalette::Window).texture().toImage()),
        comparable(QImage(pictureExists ? folder + QStringLiteral("skin.png")
                                        : QStringLiteral(":/Icons/Icons/皮肤背景.jpg"))));
}

void TestTitleStrips::maximiseButtonTogglesAndChangesItsPicture()
{
    TitledWindow titled;
    titled.window.show();
    auto* mix = titled.title->findChild<KCustomButton*>(QStringLiteral("btnMix"));
    QVERIFY(mix);
    QCOMPARE(mix->picName(), QStringLiteral(":/Icons/Icons/最大化.png"));
    QTest::mouseClick(mix, Qt::LeftButton);
    QVERIFY(titled.window.isMaximized());
    QCOMPARE(mix->picName(), QStringLiteral(":/Icons/Icons/还原.png"));
    QCOMPARE(mix->strip().frameCount(), 2);
    QTest::mouseClick(mix, Qt::LeftButton);
    QVERIFY(!titled.window.isMaximized());
    QCOMPARE(mix->picName(), QStringLiteral(":/Icons/Icons/最大化.png"));
}

QTEST_MAIN(TestTitleStrips)
#include "tst_titlestrips.moc"
