#include "Widgets/controls/kcustombutton.h"
#include "Widgets/dialogs/kcustomdlgtitlewidget.h"
#include "Widgets/dialogs/kskindialog.h"
#include "Widgets/title/ksystemtitle.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "platform/kregistry.h"

#include <QLabel>
#include <QScreen>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QString SkinKey = QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium\\Skin");

// The rows of `area` that hold white marks or text on the skin's blue, as (first, last).
QPair<int, int> whiteRows(const QImage& image, const QRect& area)
{
    int first = -1;
    int last = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = QColor::fromRgb(image.pixel(x, y));
            if (pixel.red() >= 200 && pixel.green() >= 200 && pixel.blue() >= 200) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return { first, last };
}

// The brightest pixel of `area`, as its lightness.
int brightest(const QImage& image, const QRect& area)
{
    int lightest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            lightest = qMax(lightest, QColor::fromRgb(image.pixel(x, y)).lightness());
    }
    return lightest;
}

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
    void marksLineUpWithTheCaption_data();
    void marksLineUpWithTheCaption();
    void disabledTitleButtonsLookDisabled();

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

void TestTitleStrips::marksLineUpWithTheCaption_data()
{
    QTest::addColumn<bool>("dialog");
    QTest::newRow("the main window's title strip") << false;
    QTest::newRow("a message box's title strip") << true;
}

void TestTitleStrips::marksLineUpWithTheCaption()
{
    QFETCH(bool, dialog);

    TitledWindow titled;
    KSkinDialog skin(
        QStringLiteral("提示"), QString(), QStringLiteral(":/Icons/Icons/关闭.png"), 2, 320, 200);
    QWidget* window = dialog ? static_cast<QWidget*>(&skin) : &titled.window;
    window->show();
    QWidget* close = window->findChild<KCustomButton*>(
        dialog ? QStringLiteral("closeButton") : QStringLiteral("btnClose"));
    QWidget* caption
        = window->findChild<QLabel*>(dialog ? QStringLiteral("titleLabel") : QStringLiteral("lblText"));
    QVERIFY(close && caption);
    if (dialog) {
        // Without a skin picture the strip is plain; give it the skin's blue to see white on.
        skin.titleWidget()->slotChangeSkin(QStringLiteral(":/Icons/Icons/皮肤背景.jpg"));
    }
    const QImage shot = window->grab().toImage();
    const auto area = [window](QWidget* widget) {
        return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
    };
    const QPair<int, int> mark = whiteRows(shot, area(close));
    const QPair<int, int> text = whiteRows(shot, area(caption));
    QVERIFY(mark.first >= 0 && text.first >= 0);
    const double markMiddle = (mark.first + mark.second) / 2.0;
    const double textMiddle = (text.first + text.second) / 2.0;
    QVERIFY2(qAbs(markMiddle - textMiddle) <= 1.5,
        qPrintable(QStringLiteral("mark middle %1, caption middle %2").arg(markMiddle).arg(textMiddle)));
}

void TestTitleStrips::disabledTitleButtonsLookDisabled()
{
    TitledWindow titled;
    titled.window.show();
    const auto closeArea = [&titled] {
        QWidget* close = titled.title->findChild<KCustomButton*>(QStringLiteral("btnClose"));
        return QRect(close->mapTo(&titled.window, QPoint(0, 0)), close->size());
    };
    const int enabled = brightest(titled.window.grab().toImage(), closeArea());
    titled.title->setButtonsEnabled(false);
    const int disabled = brightest(titled.window.grab().toImage(), closeArea());
    // The white mark fades towards the skin's blue.
    QVERIFY2(disabled < enabled - 40, qPrintable(QStringLiteral("%1 against %2").arg(disabled).arg(enabled)));
}

QTEST_MAIN(TestTitleStrips)
#include "tst_titlestrips.moc"
