#include "Widgets/controls/kcustombutton.h"
#include "Widgets/dialogs/kcustomdlgtitlewidget.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/versions/krestoresteps.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "platform/knativemessage.h"

#include <QLabel>
#include <QMessageBox>
#include <QTextLayout>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QString ClosePicture = QStringLiteral(":/Icons/Icons/关闭.png");

// Lets the test deliver window messages as the platform's transport does.
class MessageProbe final : public KYMessageBox
{
public:
    MessageProbe()
        : KYMessageBox(2, QStringLiteral("提示"), QStringLiteral("正文"), QString(), ClosePicture, 2,
            QStringLiteral("确定"), QStringLiteral("取消"), true)
    { }
    bool deliver(UINT message, const QByteArray& payload, ULONG_PTR dwData = 0)
    {
        COPYDATASTRUCT copyData { dwData, DWORD(payload.size()),
            payload.isEmpty() ? nullptr : const_cast<char*>(payload.constData()) };
        MSG msg {};
        msg.message = message;
        msg.lParam = LPARAM(&copyData);
        long result = 0;
        return nativeEvent(QByteArrayLiteral("windows_generic_MSG"), &msg, &result);
    }
};

KMessageBox* questionBox(int icon = QMessageBox::Question)
{
    return new KMessageBox(icon, QStringLiteral("删除"), QStringLiteral("您确认永久删除它吗？"), QString(),
        ClosePicture, 2, QStringLiteral("永久删除"), QStringLiteral("取消"), true);
}

} // namespace

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void icons_data();
    void icons();
    void theRecoveryViewsBoxesAsShown_data();
    void theRecoveryViewsBoxesAsShown();
    void aOneLineTextSitsCentred();
    void aWrappedTextHasEvenLines();
    void openBoxesAreCounted();
    void copyDataSkin_data();
    void copyDataSkin();

private:
    KTestEnvironment m_env;
    QString m_skin;
};

void TestMessageBox::initTestCase()
{
    m_skin = m_env.path(QStringLiteral("skin.png"));
    QVERIFY(writeStrip(m_skin, { QColor(200, 30, 30) }, 400, 30));
}

void TestMessageBox::cleanup()
{
    QCOMPARE(KYMessageBox::openMessageBoxCount(), 0);
}

void TestMessageBox::icons_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("picture"); // empty: none
    QTest::newRow("icon 0 shows none") << 0 << QString();
    QTest::newRow("information shows the product's own icon")
        << int(QMessageBox::Information) << ":/Icons/Icons/信息.png";
    QTest::newRow("warning shows the product's own icon")
        << int(QMessageBox::Warning) << ":/Icons/Icons/警告.png";
    QTest::newRow("critical shows the product's own icon")
        << int(QMessageBox::Critical) << ":/Icons/Icons/错误.png";
    QTest::newRow("question shows the product's own icon")
        << int(QMessageBox::Question) << ":/Icons/Icons/询问.png";
    QTest::newRow("icon 7 shows none") << 7 << QString();
}

void TestMessageBox::icons()
{
    QFETCH(int, icon);
    QFETCH(QString, picture);

    QScopedPointer<KMessageBox> box(questionBox(icon));
    const auto* label = box->findChild<QLabel*>(QStringLiteral("iconLabel"));
    QVERIFY(label);
    const QImage shown = label->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(shown.isNull(), picture.isEmpty());
    if (!picture.isEmpty())
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
            QImage(picture).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestMessageBox::theRecoveryViewsBoxesAsShown_data()
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

// The boxes the restore procedures show, as shown: titled for the window manager as on their
// strip, centred on their window, every button inside the box and none over another.
void TestMessageBox::theRecoveryViewsBoxesAsShown()
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
    QList<QRect> buttons;
    int frameWidth = -1; // a quarter of the four-state picture
    QRect box;
    whenModalShown([&](QWidget* modal) {
        shownTitle = modal->windowTitle();
        offCentre = modal->frameGeometry().center() - window.frameGeometry().center();
        frameWidth
            = modal->findChild<KCustomButton*>(QStringLiteral("okButton"))->strip().pixmap().width() / 4;
        box = modal->rect();
        for (const KCustomButton* button : modal->findChildren<KCustomButton*>()) {
            if (button->isVisible() && !button->text().isEmpty())
                buttons << QRect(button->mapTo(modal, QPoint(0, 0)), button->size());
        }
        QTest::mouseClick(modal->findChild<KCustomButton*>(press), Qt::LeftButton);
    });
    const int answer = question ? KRestoreSteps::ask(&window, title,
                           QStringLiteral("目标位置已有同名文件，你是否需要自动改名并恢复？"),
                           QStringLiteral("自动改名恢复"), QStringLiteral("覆盖目标文件"))
                                : (KRestoreSteps::inform(&window, 1, QStringLiteral("打开文件失败！")), 1);
    QCOMPARE(answer, result);
    QCOMPARE(shownTitle, title);
    QVERIFY2(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1,
        qPrintable(QStringLiteral("%1, %2 off").arg(offCentre.x()).arg(offCentre.y())));
    QCOMPARE(buttons.size(), question ? 2 : 1);
    for (const QRect& button : qAsConst(buttons))
        QVERIFY2(box.contains(button),
            qPrintable(QStringLiteral("a button %1 wide at x %2").arg(button.width()).arg(button.x())));
    if (question) {
        QVERIFY(!buttons.at(0).intersects(buttons.at(1)));
        // One frame of the picture, widened to its text at most.
        QVERIFY(buttons.at(0).width() >= frameWidth && buttons.at(0).width() < 2 * frameWidth);
    }
}

void TestMessageBox::aOneLineTextSitsCentred()
{
    KMessageBox box(0, QStringLiteral("提示"), QStringLiteral("文件已恢复。"), QString(), ClosePicture, 2,
        QStringLiteral("确定"), QString(), false);
    box.show();
    // The dark pixels of the text, between the title strip and the button.
    const QImage shot = box.grab().toImage();
    const QRect band
        = box.findChild<QLabel*>(QStringLiteral("textLabel"))->geometry().translated(box.content()->pos());
    int left = shot.width();
    int right = -1;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        for (int x = 1; x < shot.width() - 1; ++x) {
            if (QColor::fromRgb(shot.pixel(x, y)).lightness() < 128) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    }
    QVERIFY(right > left);
    QVERIFY2(qAbs((left + right) / 2.0 - box.width() / 2.0) <= 3,
        qPrintable(QStringLiteral("text from %1 to %2 in %3").arg(left).arg(right).arg(box.width())));
}

void TestMessageBox::aWrappedTextHasEvenLines()
{
    // One ideograph more than a line of the widest text holds, which would leave it alone.
    const QFontMetrics metrics(QApplication::font());
    QString text;
    while (metrics.horizontalAdvance(text) <= KMessageBox::MaxTextWidth)
        text += QStringLiteral("档");
    KMessageBox box(0, QStringLiteral("提示"), text, QString(), ClosePicture, 2, QStringLiteral("确定"),
        QString(), false);
    const auto* label = box.findChild<QLabel*>(QStringLiteral("textLabel"));

    QTextLayout layout(text, label->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QList<int> lengths;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label->width());
        lengths << line.textLength();
    }
    layout.endLayout();
    QCOMPARE(lengths.size(), 2);
    QVERIFY2(qAbs(lengths.at(0) - lengths.at(1)) <= 1,
        qPrintable(QStringLiteral("lines of %1 and %2").arg(lengths.at(0)).arg(lengths.at(1))));
}

void TestMessageBox::openBoxesAreCounted()
{
    QCOMPARE(KYMessageBox::openMessageBoxCount(), 0);
    {
        MessageProbe first;
        QCOMPARE(KYMessageBox::openMessageBoxCount(), 1);
        QScopedPointer<KMessageBox> plain(questionBox());
        QCOMPARE(KYMessageBox::openMessageBoxCount(), 1);
        {
            MessageProbe second;
            QCOMPARE(KYMessageBox::openMessageBoxCount(), 2);
        }
        first.show();
        first.reject(); // closed, but counted until it is destroyed
        QCOMPARE(KYMessageBox::openMessageBoxCount(), 1);
    }
    QCOMPARE(KYMessageBox::openMessageBoxCount(), 0);

    // A plain box shown through KYMessageBox::showCritical counts while it runs.
    int countWhileOpen = -1;
    whenModalShown([&countWhileOpen](QWidget* modal) {
        countWhileOpen = KYMessageBox::openMessageBoxCount();
        QTest::mouseClick(modal->findChild<KCustomButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    });
    QCOMPARE(KYMessageBox::showCritical(nullptr, QStringLiteral("提示"), QStringLiteral("恢复失败"),
                 QString(), ClosePicture, 2, QStringLiteral("确定"), QString(), false),
        1);
    QCOMPARE(countWhileOpen, 1);
    QCOMPARE(KYMessageBox::openMessageBoxCount(), 0);
}

void TestMessageBox::copyDataSkin_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("changes");
    const QByteArray skin = m_skin.toLatin1();
    QTest::newRow("an existing picture becomes the title background")
        << QByteArray("SkinChanged:" + skin) << true;
    QTest::newRow("a zero byte ends the text") << QByteArray("SkinChanged:" + skin + '\0' + "junk") << true;
    QTest::newRow("a missing picture changes nothing")
        << QByteArray("SkinChanged:" + skin + ".gone") << false;
    QTest::newRow("a text without the marker changes nothing") << QByteArray("Hello:" + skin) << false;
}

void TestMessageBox::copyDataSkin()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, changes);

    MessageProbe box;
    box.show();
    QVERIFY(box.deliver(WM_COPYDATA, payload));
    QCOMPARE(box.titleWidget()->backgroundImage(), changes ? m_skin : QString());
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
