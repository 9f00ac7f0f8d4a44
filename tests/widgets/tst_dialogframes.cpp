#include "Widgets/controls/kcustombutton.h"
#include "Widgets/dialogs/kcustomdlgtitlewidget.h"
#include "Widgets/dialogs/kdialogbasewidget.h"
#include "Widgets/dialogs/kskindialog.h"
#include "Widgets/title/ksystemtitle.h"
#include "kwidgettest.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace KWidgetTest;

class TestDialogFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void baseDialogTitleFollowsTheDialogWidth();
    void baseDialogShrinksThenCloses();
    void skinDialogLaysOutTitleAboveContent();
    void skinDialogCloseButtonEndsExec();
    void titleBackground_data();
    void titleBackground();
    void titleBackgroundIgnoresMissingPictures();
    void dialogDragging_data();
    void dialogDragging();
    void dialogDragsOnlyLeftOfTheCloseButton();

private:
    QString picture(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestDialogFrames::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(writeStrip(picture(QStringLiteral("narrow.png")), { QColor(20, 60, 140) }, 100, 30));
    QVERIFY(writeStrip(picture(QStringLiteral("wide.png")), { QColor(20, 60, 140) }, 600, 30));
    QVERIFY(writeStrip(picture(QStringLiteral("close.png")), { Qt::red, Qt::darkRed }, 20, 20));
}

void TestDialogFrames::baseDialogTitleFollowsTheDialogWidth()
{
    KDialogBaseWidget dialog;
    dialog.resize(420, 300);
    dialog.show();
    QCOMPARE(dialog.title()->width(), 420);
    dialog.resize(380, 300);
    QCOMPARE(dialog.title()->width(), 380);

    const QImage shot = dialog.grab().toImage();
    const QColor gray(QStringLiteral("gray"));
    QCOMPARE(colorAt(shot, QPoint(200, 299)), gray);
    QCOMPARE(colorAt(shot, QPoint(0, 150)), gray);
    QCOMPARE(colorAt(shot, QPoint(379, 150)), gray);
}

void TestDialogFrames::baseDialogShrinksThenCloses()
{
    KDialogBaseWidget dialog;
    dialog.setGeometry(100, 100, 400, 300);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QTest::mouseClick(dialog.title()->findChild<KCustomButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    // Shown again, it comes back whole.
    QCOMPARE(dialog.geometry().size(), QSize(400, 300));
}

void TestDialogFrames::skinDialogLaysOutTitleAboveContent()
{
    KSkinDialog dialog(QStringLiteral("提示"), picture(QStringLiteral("narrow.png")),
        picture(QStringLiteral("close.png")), 2, 320, 200);
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    dialog.show();
    QCOMPARE(dialog.size(), QSize(320, 200));
    QCOMPARE(dialog.titleWidget()->geometry(), QRect(1, 1, 318, 30));
    QCOMPARE(dialog.content()->geometry(), QRect(1, 31, 318, 168));
    QCOMPARE(colorAt(dialog.grab().toImage(), QPoint(0, 100)), QColor(QStringLiteral("#1f2375")));
    QCOMPARE(colorAt(dialog.grab().toImage(), QPoint(160, 120)), QColor(QStringLiteral("#F9F9F9")));
    // The close button: 2 frames of the strip, at the right end, top aligned.
    const KCustomButton* close = dialog.titleWidget()->closeButton();
    QCOMPARE(close->size(), QSize(20, 20));
    QCOMPARE(close->geometry().topRight(), QPoint(317, 0));
}

void TestDialogFrames::skinDialogCloseButtonEndsExec()
{
    KSkinDialog dialog(QStringLiteral("提示"), QString(), picture(QStringLiteral("close.png")), 2, 320, 200);
    whenModalShown([](QWidget* modal) {
        auto* skin = qobject_cast<KSkinDialog*>(modal);
        QVERIFY(skin);
        QTest::mouseClick(skin->titleWidget()->closeButton(), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TestDialogFrames::titleBackground_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("stretched");
    QTest::newRow("a picture narrower than the strip is stretched through the palette")
        << QStringLiteral("narrow.png") << true;
    QTest::newRow("a picture at least as wide as the strip is used through the style sheet")
        << QStringLiteral("wide.png") << false;
}

void TestDialogFrames::titleBackground()
{
    QFETCH(QString, name);
    QFETCH(bool, stretched);

    KCustomDlgTitleWidget title(QStringLiteral("提示"), QString(), picture(QStringLiteral("close.png")), 2);
    title.resize(338, 30);
    title.slotChangeSkin(picture(name));
    QCOMPARE(title.backgroundImage(), picture(name));
    if (stretched) {
        QVERIFY(title.styleSheet().isEmpty());
        QVERIFY(title.autoFillBackground());
        QCOMPARE(title.palette().brush(QPalette::Window).texture().width(), 338);
    } else {
        QVERIFY(title.styleSheet().startsWith(QStringLiteral("KCustomDlgTitleWidget {background:url(")));
        QVERIFY(title.styleSheet().contains(picture(name)));
    }
    // Either way the picture shows across the strip, under the close button too.
    QCOMPARE(colorAt(title.grab().toImage(), QPoint(200, 10)), QColor(20, 60, 140));
}

void TestDialogFrames::titleBackgroundIgnoresMissingPictures()
{
    KCustomDlgTitleWidget title(QStringLiteral("提示"), picture(QStringLiteral("gone.png")), QString(), 2);
    QVERIFY(title.backgroundImage().isEmpty());
    title.slotChangeSkin(picture(QStringLiteral("narrow.png")));
    title.slotChangeSkin(picture(QStringLiteral("gone.png")));
    title.slotChangeSkin(QString());
    QCOMPARE(title.backgroundImage(), picture(QStringLiteral("narrow.png")));
}

void TestDialogFrames::dialogDragging_data()
{
    addDragRuleRows(320);
}

void TestDialogFrames::dialogDragging()
{
    QFETCH(QPoint, target);
    QFETCH(bool, moves);

    KSkinDialog dialog(QStringLiteral("提示"), QString(), picture(QStringLiteral("close.png")), 2, 320, 200);
    dialog.move(100, 100);
    dialog.show();
    const QPoint start = dialog.pos();
    KCustomDlgTitleWidget* title = dialog.titleWidget();
    const QPoint grip(50, 10);
    press(title, grip);
    QCOMPARE(title->cursor().shape(), Qt::ClosedHandCursor);
    drag(title, grip + (target - start));
    QCOMPARE(dialog.pos(), moves ? target : start);
    release(title, grip);
    QCOMPARE(title->cursor().shape(), Qt::OpenHandCursor);
}

void TestDialogFrames::dialogDragsOnlyLeftOfTheCloseButton()
{
    KSkinDialog dialog(QStringLiteral("提示"), QString(), picture(QStringLiteral("close.png")), 2, 320, 200);
    dialog.move(100, 100);
    dialog.show();
    const QPoint start = dialog.pos();
    KCustomDlgTitleWidget* title = dialog.titleWidget();
    const int closeLeft = title->width() - title->closeButton()->width();
    press(title, QPoint(closeLeft, 25));
    drag(title, QPoint(closeLeft - 40, 35));
    QCOMPARE(dialog.pos(), start);
    release(title, QPoint(closeLeft, 25));

    press(title, QPoint(closeLeft - 1, 25));
    drag(title, QPoint(closeLeft - 41, 35));
    QCOMPARE(dialog.pos(), start + QPoint(-40, 10));
}

QTEST_MAIN(TestDialogFrames)
#include "tst_dialogframes.moc"
