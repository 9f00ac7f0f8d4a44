#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kcommonbutton.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/dialogs/kcustomdlgtitlewidget.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/kskindialog.h"
#include "Widgets/title/ksystemtitle.h"
#include "Widgets/versions/krestoresteps.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "platform/knativemessage.h"

#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);
const QColor Blue(0, 0, 255);
const QColor White(255, 255, 255);
const QString ClosePicture = QStringLiteral(":/Icons/Icons/关闭.png");

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

// Lets the test deliver window messages as the platform's transport does.
class MessageProbe final : public KYMessageBox
{
public:
    MessageProbe()
        : KYMessageBox(2, QStringLiteral("提示"), QStringLiteral("正文"), QString(), ClosePicture, 2,
            QStringLiteral("确定"), QStringLiteral("取消"), true)
    { }
    bool deliver(const QByteArray& payload)
    {
        COPYDATASTRUCT copyData { 0, DWORD(payload.size()), const_cast<char*>(payload.constData()) };
        MSG msg {};
        msg.message = WM_COPYDATA;
        msg.lParam = LPARAM(&copyData);
        long result = 0;
        return nativeEvent(QByteArrayLiteral("windows_generic_MSG"), &msg, &result);
    }
};

} // namespace

// The small controls, the title strips and the message boxes.
class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void frames_data();
    void frames();
    void anImageLabelShowsWhatLiesUnderIt();
    void dragging_data();
    void dragging();
    void theRecoveryViewsBoxesAsShown_data();
    void theRecoveryViewsBoxesAsShown();
    void copyDataSkin_data();
    void copyDataSkin();

private:
    QString picture(const QString& name) const { return m_env.path(name); }
    QWidget* makeControl(const QString& kind) const;

    KTestEnvironment m_env;
};

void TestControls::initTestCase()
{
    QVERIFY(writeStrip(picture(QStringLiteral("four.png")), { Red, Green, Blue, White }, 25, 20));
    QVERIFY(writeStrip(picture(QStringLiteral("two.png")), { Red, Green }, 30, 12));
    // One frame made of two colours, to see that it is drawn whole, not cut.
    QVERIFY(writeStrip(picture(QStringLiteral("one.png")), { Red, Blue }, 20, 10));
    QVERIFY(writeStrip(picture(QStringLiteral("red.png")), { Red }, 10, 10));
    QVERIFY(writeStrip(picture(QStringLiteral("green.png")), { Green }, 10, 10));
    QVERIFY(writeStrip(picture(QStringLiteral("blue.png")), { Blue }, 10, 10));
    QVERIFY(writeStrip(picture(QStringLiteral("skin.png")), { QColor(200, 30, 30) }, 400, 30));
}

void TestControls::cleanup()
{
    QCOMPARE(KYMessageBox::openMessageBoxCount(), 0);
}

QWidget* TestControls::makeControl(const QString& kind) const
{
    const QString red = picture(QStringLiteral("red.png"));
    const QString green = picture(QStringLiteral("green.png"));
    const QString blue = picture(QStringLiteral("blue.png"));
    if (kind == QLatin1String("four-frame strip"))
        return new KCustomButton(picture(QStringLiteral("four.png")), 0);
    if (kind == QLatin1String("two-frame strip"))
        return new KCustomButton(picture(QStringLiteral("two.png")), 2);
    if (kind == QLatin1String("one-frame picture"))
        return new KCustomButton(picture(QStringLiteral("one.png")), 1);
    if (kind == QLatin1String("hover strip")) {
        auto* button = new KButton;
        button->setPixmap(picture(QStringLiteral("four.png")), 4);
        return button;
    }
    if (kind == QLatin1String("image button")) {
        auto* button = new KCommonButton;
        button->resize(20, 20);
        button->setImages(red, green, blue, QString(), false);
        return button;
    }
    auto* label = new KLabel;
    label->resize(40, 20);
    label->setImages(red, green, blue, QString());
    return label;
}

void TestControls::frames_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QColor>("colour"); // at the control's centre
    QTest::addColumn<bool>("faded");
    QTest::addColumn<int>("clicks");
    const QString four = QStringLiteral("four-frame strip");
    QTest::newRow("a strip of zero frames reads as four; at rest it shows frame 0")
        << four << "" << Red << false << 0;
    QTest::newRow("a strip shows frame 1 hovered") << four << "enter" << Green << false << 0;
    QTest::newRow("a strip shows frame 2 pressed") << four << "enter press" << Blue << false << 0;
    QTest::newRow("a strip shows frame 3 disabled") << four << "disable" << White << false << 0;
    QTest::newRow("a two-frame strip shows its hovered frame pressed")
        << "two-frame strip"
        << "enter press" << Green << false << 0;
    QTest::newRow("a two-frame strip disabled shows its first frame faded") << "two-frame strip"
                                                                            << "disable" << Red << true << 0;
    QTest::newRow("one frame is the whole picture, drawn whole") << "one-frame picture"
                                                                 << "enter" << Blue << false << 0;
    QTest::newRow("a plain strip button knows hover only") << "hover strip"
                                                           << "enter press" << Green << false << 0;
    QTest::newRow("an image button keeps its pressed look after a click, hovered again or not")
        << "image button"
        << "enter press release leave enter" << Blue << false << 1;
    QTest::newRow("an image button released outside looks normal; entering while pressed is no hover")
        << "image button"
        << "enter press release leave enter press release-outside" << Red << false << 1;
    QTest::newRow("an image label pressed and left shows its pressed picture")
        << "image label"
        << "enter press leave" << Blue << false << 0;
    QTest::newRow("an image label released outside does not click and shows its normal picture")
        << "image label"
        << "enter press leave release-outside" << Red << false << 0;
    QTest::newRow("an image label released inside clicks once and shows its hover picture")
        << "image label"
        << "enter press release" << Green << false << 1;
}

void TestControls::frames()
{
    QFETCH(QString, kind);
    QFETCH(QString, events);
    QFETCH(QColor, colour);
    QFETCH(bool, faded);
    QFETCH(int, clicks);

    QScopedPointer<QWidget> control(makeControl(kind));
    QSignalSpy clicked(control.data(), SIGNAL(clicked()));
    control->show();
    const QPoint centre = control->rect().center() + QPoint(1, 1);
    for (const QString& event : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (event == QLatin1String("enter"))
            enter(control.data());
        else if (event == QLatin1String("leave"))
            leave(control.data());
        else if (event == QLatin1String("press"))
            press(control.data(), centre);
        else if (event == QLatin1String("release"))
            release(control.data(), centre);
        else if (event == QLatin1String("release-outside"))
            release(control.data(), centre + QPoint(control->width(), 0));
        else if (event == QLatin1String("disable"))
            control->setEnabled(false);
    }
    const QColor shown = control->grab().toImage().pixelColor(centre);
    if (faded)
        QVERIFY2(shown != colour && shown.hue() == colour.hue(), qPrintable(shown.name(QColor::HexArgb)));
    else
        QCOMPARE(shown.rgb(), colour.rgb());
    QCOMPARE(clicked.count(), clicks);
}

void TestControls::anImageLabelShowsWhatLiesUnderIt()
{
    // A sheet that fills labels must not fill an image label, set before the label was made or after.
    const QString sheet = QStringLiteral("QWidget {background: #00ff00;} QLabel {background: #ff0000;}");
    for (bool sheetFirst : { true, false }) {
        QWidget parent;
        parent.setStyleSheet(sheetFirst ? sheet : QString());
        KLabel label(&parent);
        parent.setStyleSheet(sheet);
        QCOMPARE(parent.grab().toImage().pixelColor(2, 2), Green);
    }
}

// Targets just inside and just outside each limit of the primary screen's work area, for the
// main window (659 pixels wide) and a dialog (320).
void TestControls::dragging_data()
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

void TestControls::dragging()
{
    QFETCH(bool, dialog);
    QFETCH(QPoint, target);
    QFETCH(bool, moves);

    TitledWindow titled;
    KSkinDialog skin(QStringLiteral("提示"), QString(), ClosePicture, 2, 320, 200);
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

void TestControls::theRecoveryViewsBoxesAsShown_data()
{
    QTest::addColumn<bool>("question");
    QTest::addColumn<QString>("press");
    QTest::addColumn<int>("result");
    QTest::newRow("a question box, its accept button: 1") << true << QStringLiteral("okButton") << 1;
    QTest::newRow("a question box, its other button: 0") << true << QStringLiteral("cancelButton") << 0;
    QTest::newRow("a question box, the title's close button: -1")
        << true << QStringLiteral("closeButton") << -1;
    QTest::newRow("an information box, its one button: 1") << false << QStringLiteral("okButton") << 1;
}

// The boxes the restore procedures show: titled for the window manager as on their strip,
// centred on their window, each button giving its answer.
void TestControls::theRecoveryViewsBoxesAsShown()
{
    QFETCH(bool, question);
    QFETCH(QString, press);
    QFETCH(int, result);
    const QString title = question ? QStringLiteral("发现同名文件") : QStringLiteral("提示");

    QWidget window;
    window.setGeometry(40, 30, 700, 460);
    window.show();
    QString shownTitle;
    QPoint offCentre(-999, -999);
    whenModalShown([&](QWidget* modal) {
        shownTitle = modal->windowTitle();
        offCentre = modal->frameGeometry().center() - window.frameGeometry().center();
        QTest::mouseClick(modal->findChild<KCustomButton*>(press), Qt::LeftButton);
    });
    const int answer = question ? KRestoreSteps::ask(
                           &window, title, QStringLiteral("正文"), QStringLiteral("是"), QStringLiteral("否"))
                                : (KRestoreSteps::inform(&window, 1, QStringLiteral("打开文件失败！")), 1);
    QCOMPARE(answer, result);
    QCOMPARE(shownTitle, title);
    QVERIFY2(offCentre.manhattanLength() <= 2,
        qPrintable(QStringLiteral("%1, %2 off").arg(offCentre.x()).arg(offCentre.y())));
}

void TestControls::copyDataSkin_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("changes");
    const QByteArray skin = picture(QStringLiteral("skin.png")).toLatin1();
    QTest::newRow("an existing picture becomes the title background; a zero byte ends the text")
        << QByteArray("SkinChanged:" + skin + '\0' + "junk") << true;
    QTest::newRow("a missing picture changes nothing")
        << QByteArray("SkinChanged:" + skin + ".gone") << false;
    QTest::newRow("a text without the marker changes nothing") << QByteArray("Hello:" + skin) << false;
}

void TestControls::copyDataSkin()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, changes);

    MessageProbe box;
    box.show();
    QVERIFY(box.deliver(payload));
    QCOMPARE(box.titleWidget()->backgroundImage(), changes ? picture(QStringLiteral("skin.png")) : QString());
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
