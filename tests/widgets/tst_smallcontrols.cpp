#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kclicklabel.h"
#include "Widgets/controls/kcommonbutton.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/controls/kmenubutton.h"
#include "core/kcommon.h"
#include "kwidgettest.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);
const QColor Blue(0, 0, 255);
const QColor White(255, 255, 255);

} // namespace

class TestSmallControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pictureStrip_data();
    void pictureStrip();
    void disabledCustomButtonPaintsFrameThreeAndGreyText();
    void plainButtonBackgroundAnswersHoverAndPress();
    void clickLabelHover_data();
    void clickLabelHover();
    void labelClicksOnlyWhenReleasedInside();
    void commonButtonKeepsItsPressedLookAfterAClick();
    void menuButtonEmitsTheChosenEntry();

private:
    QString picture(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestSmallControls::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(writeStrip(picture(QStringLiteral("four.png")), { Red, Green, Blue, White }, 25, 20));
    QVERIFY(writeStrip(picture(QStringLiteral("two.png")), { Red, Green }, 30, 12));
    // One frame made of two colours, to see that it is drawn whole, not cut.
    QVERIFY(writeStrip(picture(QStringLiteral("one.png")), { Red, Blue }, 20, 10));
    QVERIFY(writeStrip(picture(QStringLiteral("red.png")), { Red }, 10, 10));
    QVERIFY(writeStrip(picture(QStringLiteral("green.png")), { Green }, 10, 10));
    QVERIFY(writeStrip(picture(QStringLiteral("blue.png")), { Blue }, 10, 10));
}

void TestSmallControls::pictureStrip_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QColor>("color");
    const QString four = QStringLiteral("four.png");
    QTest::newRow("zero frames read as four: a 100-pixel strip gives 25-pixel frames, normal shows frame 0")
        << four << 0 << QSize(25, 20) << QStringLiteral("normal") << QPoint(12, 10) << Red;
    QTest::newRow("hovered shows frame 1")
        << four << 4 << QSize(25, 20) << QStringLiteral("hovered") << QPoint(12, 10) << Green;
    QTest::newRow("pressed shows frame 2")
        << four << 4 << QSize(25, 20) << QStringLiteral("pressed") << QPoint(12, 10) << Blue;
    QTest::newRow("two frames: pressed shows the hovered frame")
        << QStringLiteral("two.png") << 2 << QSize(30, 12) << QStringLiteral("pressed") << QPoint(15, 6)
        << Green;
    QTest::newRow("one frame is the whole picture, drawn whole")
        << QStringLiteral("one.png") << 1 << QSize(40, 10) << QStringLiteral("hovered") << QPoint(37, 5)
        << Blue;
}

void TestSmallControls::pictureStrip()
{
    QFETCH(QString, file);
    QFETCH(int, frames);
    QFETCH(QSize, frameSize);
    QFETCH(QString, state);
    QFETCH(QPoint, at);
    QFETCH(QColor, color);

    // Both buttons are fixed to one frame's size.
    KButton plain;
    plain.setPixmap(picture(file), frames);
    QCOMPARE(plain.maximumSize(), frameSize);
    KCustomButton button(picture(file), frames);
    QCOMPARE(button.size(), frameSize);
    QCOMPARE(button.maximumSize(), frameSize);

    button.show();
    if (state != QLatin1String("normal"))
        enter(&button);
    if (state == QLatin1String("pressed"))
        press(&button, QPoint(5, 5));
    QCOMPARE(colorAt(button.grab().toImage(), at), color);
}

void TestSmallControls::disabledCustomButtonPaintsFrameThreeAndGreyText()
{
    KCustomButton button(picture(QStringLiteral("four.png")), 0);
    button.setTextColor(Red);
    QFont font = button.font();
    font.setPixelSize(18);
    font.setBold(true);
    button.setFont(font);
    button.setText(QStringLiteral("WW"));
    button.setEnabled(false);

    const QImage shot = button.grab().toImage();
    QCOMPARE(colorAt(shot, QPoint(0, 0)), White); // frame 3
    int textPixels = 0;
    for (int x = 0; x < shot.width(); ++x) {
        for (int y = 0; y < shot.height(); ++y) {
            const QColor pixel = colorAt(shot, QPoint(x, y));
            if (pixel == White)
                continue;
            ++textPixels;
            // Qt::gray over white: no trace of the red text colour.
            QVERIFY2(qAbs(pixel.red() - pixel.green()) <= 2 && pixel.blue() >= pixel.red(),
                qPrintable(pixel.name()));
        }
    }
    QVERIFY(textPixels > 20);

    // Entering is still reported, but the pointing hand is not shown.
    QSignalSpy entered(&button, &KCustomButton::signalEnter);
    enter(&button);
    QCOMPARE(entered.count(), 1);
    QVERIFY(!button.testAttribute(Qt::WA_SetCursor));
}

void TestSmallControls::plainButtonBackgroundAnswersHoverAndPress()
{
    // The push buttons of the dialogs and question boxes: normal, hovered, pressed, disabled.
    KCustomButton button(KCommon::skinImagePath(QStringLiteral("按扭背景.png")), 4);
    QCOMPARE(button.size(), QSize(100, 28));
    const auto isBlue = [](const QColor& c) {
        return c.blue() > c.red() + 40;
    };
    const QPoint border(0, 14);
    const QPoint face(50, 14);
    QVERIFY(!isBlue(colorAt(button.grab().toImage(), border)));
    enter(&button);
    QVERIFY(isBlue(colorAt(button.grab().toImage(), border)));
    press(&button, face);
    const QColor pressed = colorAt(button.grab().toImage(), face);
    QVERIFY2(pressed.blue() > pressed.red() + 10, qPrintable(pressed.name()));
    release(&button, face);
    leave(&button);
    const QColor normalFace = colorAt(button.grab().toImage(), face);
    button.setEnabled(false);
    QVERIFY(colorAt(button.grab().toImage(), face) != normalFace);
}

void TestSmallControls::clickLabelHover_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hoverStyle");
    QTest::addColumn<QString>("leaveStyle");
    QTest::newRow("empty text leaves the style sheet alone") << QString() << QString() << QString();
    QTest::newRow("a label never given colours turns black")
        << QStringLiteral("plan.xls") << QStringLiteral("KClickLabel {color: #000000}")
        << QStringLiteral("KClickLabel {color: #000000;}");
}

void TestSmallControls::clickLabelHover()
{
    QFETCH(QString, text);
    QFETCH(QString, hoverStyle);
    QFETCH(QString, leaveStyle);

    KClickLabel label;
    label.setText(text);
    label.setUnderlineOnHover(true);
    enter(&label);
    QCOMPARE(label.styleSheet(), hoverStyle);
    QVERIFY(label.font().underline());
    leave(&label);
    QCOMPARE(label.styleSheet(), leaveStyle);
    QVERIFY(!label.font().underline());
}

void TestSmallControls::labelClicksOnlyWhenReleasedInside()
{
    KLabel label;
    label.resize(40, 20);
    label.setImages(picture(QStringLiteral("red.png")), picture(QStringLiteral("green.png")),
        picture(QStringLiteral("blue.png")), QString());
    auto* image = label.findChild<QLabel*>(QStringLiteral("imageLabel"));
    QVERIFY(image);
    const auto shown = [image] {
        return colorAt(image->pixmap(Qt::ReturnByValue).toImage(), QPoint(1, 1));
    };
    QSignalSpy clicked(&label, &KLabel::clicked);
    // Pressed, dragged out and released outside: no click, and the normal picture again.
    enter(&label);
    QCOMPARE(shown(), Green);
    press(&label, QPoint(10, 10));
    leave(&label);
    QCOMPARE(shown(), Blue);
    release(&label, QPoint(60, 10));
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(shown(), Red);

    enter(&label);
    press(&label, QPoint(10, 10));
    release(&label, QPoint(10, 10));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(shown(), Green);
}

void TestSmallControls::commonButtonKeepsItsPressedLookAfterAClick()
{
    KCommonButton button;
    button.resize(20, 20);
    button.setImages(picture(QStringLiteral("red.png")), picture(QStringLiteral("green.png")),
        picture(QStringLiteral("blue.png")), QString(), false);
    const auto centre = [&button] {
        return colorAt(button.grab().toImage(), QPoint(10, 10));
    };
    QCOMPARE(centre(), Red);

    QSignalSpy clicked(&button, &KCommonButton::clicked);
    enter(&button);
    QCOMPARE(centre(), Green);
    press(&button, QPoint(10, 10));
    release(&button, QPoint(10, 10));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(centre(), Blue);
    leave(&button);
    enter(&button);
    QCOMPARE(centre(), Blue);

    // A release outside ends the pressed look.
    press(&button, QPoint(10, 10));
    release(&button, QPoint(30, 30));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(centre(), Red); // entering while pressed did not count as hover
}

void TestSmallControls::menuButtonEmitsTheChosenEntry()
{
    QWidget window;
    auto* holder = new QWidget(&window);
    auto* button = new KMenuButton(
        picture(QStringLiteral("two.png")), 2, picture(QStringLiteral("red.png")), 1, holder);
    button->addAction(QStringLiteral("打开"), picture(QStringLiteral("green.png")));
    button->addAction(QStringLiteral("删除"), picture(QStringLiteral("blue.png")));
    window.resize(200, 100);
    window.show();
    QCOMPARE(button->menu()->parent(), &window); // the menu belongs to the top-most ancestor

    QSignalSpy clicked(button, &KMenuButton::clicked);
    QTest::mouseClick(button->leftButton(), Qt::LeftButton);
    whenModalShown([](QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        QVERIFY(menu);
        QTest::mouseClick(
            menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(menu->actions().at(1)).center());
    });
    QTest::mouseClick(button->pullButton(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(clicked.at(0).at(0).toInt(), 0); // the face
    QCOMPARE(clicked.at(1).at(0).toInt(), 2); // the second entry
}

QTEST_MAIN(TestSmallControls)
#include "tst_smallcontrols.moc"
