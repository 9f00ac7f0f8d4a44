#include "Widgets/controls/klabel.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/miscode/kfiletypelabel.h"
#include "Widgets/miscode/kmiscodewidget.h"
#include "Widgets/miscode/kpagespliterwidget.h"
#include "Widgets/miscode/ktablewidgetfileitem.h"
#include "Widgets/miscode/ktypewidget.h"
#include "Widgets/table/knodatawidget.h"
#include "Widgets/table/ktableheader.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "krecoverytest.h"
#include "ktestrecords.h"
#include "kwidgettest.h"
#include "service/kservices.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace KRecoveryTest;

namespace {

// One refresh of the page, as the engine streams it: files of one month on page `page`.
void refresh(KMisCodeWidget& page, int type, const QStringList& files, int pageIndex = 1, int totalPages = 1)
{
    page.onAfxMisCodePreUpdate(type, pageIndex);
    page.onAfxMisCodeAddRow(QStringLiteral("2024年05月"), QString(), QString(), 1, pageIndex);
    for (const QString& file : files)
        page.onAfxMisCodeAddRow(
            file, QStringLiteral("2"), QStringLiteral("2024-05-20 10:00:00"), 0, pageIndex);
    page.onAfxMisCodeEndUpdate(type, 0, 0, pageIndex, totalPages);
}

} // namespace

class TestMisCodePage : public QObject
{
    Q_OBJECT

public:
    explicit TestMisCodePage(KTestEnvironment* env)
        : m_env(*env)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pageBar_data();
    void pageBar();
    void anAnswerForAnotherFilterSelectsIt();
    void browsingFiltersAndPages();
    void searchKeepsMatchingNamesAndTheirCounts();
    void rowsShowTheirLastBackup();
    void aSelfBackupIsRestoredToTheDesktop();

private:
    // Twenty-five pricing files and two rebar files, all backed up within the hour, and listed.
    void protectFiles();

    KTestEnvironment& m_env;
    KRecoveryTest::UnansweredBoxes m_unanswered;
    std::unique_ptr<KMisCodeWidget> m_page;
    QString m_work;
    int m_case = 0;
};

void TestMisCodePage::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
    // As the scanner does before its first cycle.
    QVERIFY(!KFileServiceManager::instance()->loadDatabase()); // none yet
}

void TestMisCodePage::init()
{
    QVERIFY(KRecoveryTest::cleanAll());
    KFileServiceManager::instance()->onShowPageByType(KFileList::of(KListPage::Today));
    m_work = m_env.makeFolder(QStringLiteral("work%1").arg(++m_case));
    m_page = makePage<KMisCodeWidget>();
}

void TestMisCodePage::cleanup()
{
    // Cleared before anything is compared, so that a failing case leaves nothing to the next.
    m_page.reset();
    KFileServiceManager::instance()->onSearch(QString());
    QCOMPARE(m_unanswered.leftOver(), QStringList());
}

void TestMisCodePage::protectFiles()
{
    // Every file changed at its own second, so that the lists have one order.
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < 25; ++i) {
        const QString path = m_work + QStringLiteral("工程%1.pra4").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY(!backUp(m_env, path, "pricing", now.addSecs(-60 * (i + 1))).isEmpty());
    }
    for (int i = 0; i < 2; ++i) {
        const QString path = m_work + QStringLiteral("钢筋%1.rba24").arg(i);
        QVERIFY(!backUp(m_env, path, "rebar", now.addSecs(-30 - i), 2).isEmpty());
    }
    KFileServiceManager::instance()->onUpdate();
}

void TestMisCodePage::pageBar_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("first"); // the number on the first button
    QTest::addColumn<int>("shown"); // buttons shown
    QTest::addColumn<bool>("left");
    QTest::addColumn<bool>("right");
    QTest::addColumn<QString>("press");
    QTest::addColumn<int>("asked"); // the page then asked for; 0: none

    QTest::newRow("25 pages at 12 show 11 to 20 with both arrows; a page button asks for its page")
        << 25 << 12 << 11 << 10 << true << true << "btnPage4" << 15;
    QTest::newRow("25 pages at 21 show 21 to 25 without the right arrow; the left one asks for 11")
        << 25 << 21 << 21 << 5 << true << false << "btnLeft" << 11;
    QTest::newRow("20 pages at 11 make two groups, the second the last; the page shown asks nothing")
        << 20 << 11 << 11 << 10 << true << false << "btnPage0" << 0;
    QTest::newRow("25 pages at 20 keep page 20 in the second group; the right arrow asks for 21")
        << 25 << 20 << 11 << 10 << true << true << "btnRight" << 21;
    QTest::newRow("3 pages at 1 need no arrow") << 3 << 1 << 1 << 3 << false << false << "btnPage2" << 3;
}

// The bar shows the group of ten around the current page and asks the engine for another page,
// showing it once the engine answers.
void TestMisCodePage::pageBar()
{
    QFETCH(int, total);
    QFETCH(int, current);
    QFETCH(int, first);
    QFETCH(int, shown);
    QFETCH(bool, left);
    QFETCH(bool, right);
    QFETCH(QString, press);
    QFETCH(int, asked);

    KPageSpliterWidget bar;
    bar.setPages(total, current);
    QSignalSpy asks(&bar, &KPageSpliterWidget::pageChanged);
    const auto shows = [&] {
        for (int i = 0; i < 10; ++i) {
            auto* button = bar.findChild<QPushButton*>(QStringLiteral("btnPage%1").arg(i));
            QCOMPARE(!button->isHidden(), i < shown);
            if (i < shown) {
                QCOMPARE(button->text(), QString::number(first + i));
                QCOMPARE(button->isEnabled(), first + i != current);
            }
        }
    };
    shows();
    QCOMPARE(bar.findChild<QPushButton*>(QStringLiteral("btnLeft"))->isEnabled(), left);
    QCOMPARE(bar.findChild<QPushButton*>(QStringLiteral("btnRight"))->isEnabled(), right);
    if (press.startsWith(QLatin1String("btnPage")))
        bar.pageButtonClick(press.mid(7).toInt());
    else
        bar.findChild<QPushButton*>(press)->click();
    QCOMPARE(asks.count(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(asks.first().at(0).toInt(), asked);
    if (press.startsWith(QLatin1String("btnPage")))
        shows(); // until the engine answers
}

// An answer for another filter selects it, which asks the engine for that filter's first page;
// an empty one shows the placeholder instead of the list's header and page bar.
void TestMisCodePage::anAnswerForAnotherFilterSelectsIt()
{
    KTypeWidget* types = m_page->typeWidget();
    types->selectType(0);
    auto* placeholder = m_page->findChild<KNoDataWidget*>(QStringLiteral("noDataWidget"));
    QSignalSpy asked(KFileServiceManager::instance(), &KFileServiceManager::sigAfxMisCodePreUpdate);

    refresh(*m_page, 3, {}, 1, 0);
    QCOMPARE(types->currentType(), 3);
    QVERIFY(types->label(3)->isSelected() && !types->label(0)->isSelected());
    QCOMPARE(asked.count(), 1);
    QCOMPARE(asked.at(0), QVariantList({ 3, 1 }));
    QVERIFY(!placeholder->isHidden());
    QVERIFY(m_page->tableHeader()->isHidden() && m_page->pageBar()->isHidden());

    refresh(*m_page, 3, { m_work + QStringLiteral("a.ina24") }, 1, 1);
    QVERIFY(placeholder->isHidden());
    QVERIFY(!m_page->tableHeader()->isHidden() && !m_page->pageBar()->isHidden());
    QCOMPARE(m_page->table()->rowCount(), 2);
}

void TestMisCodePage::browsingFiltersAndPages()
{
    protectFiles();
    KTypeWidget* types = m_page->typeWidget();
    QCOMPARE(types->currentType(), int(KFileList::of(KListPage::Today)));
    QCOMPARE(types->label(5)->text(), QStringLiteral("今天(27)"));
    QCOMPARE(types->label(0)->text(), QStringLiteral("计价(25)"));
    QCOMPARE(types->label(2)->text(), QStringLiteral("钢筋(2)"));

    click(types->label(0));
    KTableWidget* table = m_page->table();
    QCOMPARE(table->rowCount(), 21); // the month's title and twenty files
    QCOMPARE(table->rowWidget(0)->itemType(), int(KTableWidgetItemBase::ITEM_DATETIME));
    // The most recently changed file first.
    QCOMPARE(table->rowKey(1), m_work + QStringLiteral("工程00.pra4"));
    auto* first = qobject_cast<KTableWidgetFileItem*>(table->rowWidget(1));
    QCOMPARE(first->findChild<QLabel*>(QStringLiteral("lblBackedNumber"))->text(), QStringLiteral("1"));
    QCOMPARE(m_page->pageBar()->totalPages(), 2);

    // The reader's place: kept by a refresh of the list, the top for another page or filter.
    m_page->show();
    QScrollBar* scroll = table->verticalScrollBar();
    QTRY_VERIFY(scroll->maximum() > 0);
    scroll->setValue(scroll->maximum());
    KFileServiceManager::instance()->onUpdate();
    QCOMPARE(scroll->value(), scroll->maximum());
    click(types->label(KFileList::of(KListPage::Today)));
    QCOMPARE(scroll->value(), 0);
    click(types->label(0));

    scroll->setValue(scroll->maximum());
    m_page->pageBar()->findChild<QPushButton*>(QStringLiteral("btnPage1"))->click();
    QCOMPARE(table->rowCount(), 6);
    QCOMPARE(table->rowKey(5), m_work + QStringLiteral("工程24.pra4"));
    QCOMPARE(m_page->pageBar()->pageIndex(), 2);
    QCOMPARE(scroll->value(), 0);

    click(types->label(2));
    QCOMPARE(keysOf(table).mid(1),
        QStringList({ m_work + QStringLiteral("钢筋0.rba24"), m_work + QStringLiteral("钢筋1.rba24") }));
    QVERIFY(m_page->tableHeader()->isBackedNumberVisible());
    QVERIFY(types->label(2)->isSelected() && !types->label(0)->isSelected());

    // A file's row opens its versions.
    auto* row = qobject_cast<KTableWidgetFileItem*>(table->rowWidget(1));
    QString shown;
    KWidgetTest::whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<KFileVersionDlg*>(modal);
        shown = dialog && KFileVersionDlg::openVersionDialogCount() == 1 ? dialog->fileName() : QString();
        modal->close();
    });
    click(row->findChild<KLabel*>(QStringLiteral("lblBackBtn")));
    QCOMPARE(shown, row->fileName());
    QCOMPARE(KFileVersionDlg::openVersionDialogCount(), 0);
}

void TestMisCodePage::searchKeepsMatchingNamesAndTheirCounts()
{
    protectFiles(); // 工程00.pra4 to 工程24.pra4, 钢筋0.rba24 and 钢筋1.rba24
    KTypeWidget* types = m_page->typeWidget();
    click(types->label(0));
    auto* search = m_page->findChild<QLineEdit*>(QStringLiteral("editSearch"));
    const auto counts = [types] {
        return QStringList { types->label(0)->text(), types->label(2)->text(), types->label(5)->text() };
    };

    QTest::keyClicks(search, QStringLiteral("0"));
    QCOMPARE(counts(),
        QStringList({ QStringLiteral("计价(12)"), QStringLiteral("钢筋(1)"), QStringLiteral("今天(13)") }));
    QCOMPARE(m_page->table()->rowCount(), 13); // the month's title and twelve files
    QCOMPARE(m_page->pageBar()->totalPages(), 1);

    search->clear();
    QTest::keyClicks(search, QStringLiteral("RBA")); // any case
    QCOMPARE(counts(),
        QStringList({ QStringLiteral("计价(0)"), QStringLiteral("钢筋(2)"), QStringLiteral("今天(2)") }));
    QVERIFY(!m_page->placeholder()->isHidden());

    search->clear();
    QCOMPARE(counts(),
        QStringList({ QStringLiteral("计价(25)"), QStringLiteral("钢筋(2)"), QStringLiteral("今天(27)") }));
    QCOMPARE(m_page->table()->rowCount(), 21);
}

void TestMisCodePage::rowsShowTheirLastBackup()
{
    m_env.platform()->setCurrentDateTime(QDateTime(QDate(2024, 3, 20), QTime(12, 0)));
    KFileServiceManager* engine = KFileServiceManager::instance();
    int versions = 0;
    // A file changed at `modified` (yyyyMMddhhmm) and backed up on `backedUp` (yyyyMMdd).
    const auto protect
        = [&](const QString& name, int kind, const QString& modified, const QString& backedUp) {
              const QString path = m_env.writeFile(m_work + name, "x");
              const QString id = testFileId(++versions, modified + QStringLiteral("00"), backedUp);
              m_env.writeFile(KCommon::backupDirectory() + id, "x");
              addTestRecord(engine->collection(kind), path, kind, { id });
              return path;
          };
    const QString lateBackup
        = protect(QStringLiteral("a.pra4"), 0, QStringLiteral("202401100800"), QStringLiteral("20240302"));
    const QString february
        = protect(QStringLiteral("b.pra4"), 0, QStringLiteral("202402270800"), QStringLiteral("20240228"));
    const QString morning
        = protect(QStringLiteral("c.pra4"), 0, QStringLiteral("202403200900"), QStringLiteral("20240320"));
    const QString lateMorning
        = protect(QStringLiteral("d.rba24"), 2, QStringLiteral("202403201100"), QStringLiteral("20240320"));
    // A later change of a.pra4, backed up before its older state was (as when that state was
    // put back): the last backup is still the one of March.
    const QString earlier
        = testFileId(++versions, QStringLiteral("20240215080000"), QStringLiteral("20240215"));
    m_env.writeFile(KCommon::backupDirectory() + earlier, "x");
    engine->findFile(lateBackup)->addVersion(earlier);
    engine->onUpdate();

    // Grouped by the month of the last backup, the latest backup first.
    click(m_page->typeWidget()->label(0));
    KTableWidget* table = m_page->table();
    QCOMPARE(keysOf(table),
        QStringList(
            { QStringLiteral("2024年03月"), morning, lateBackup, QStringLiteral("2024年02月"), february }));
    QCOMPARE(rowWithKey<KTableWidgetFileItem>(table, lateBackup)
                 ->findChild<QLabel*>(QStringLiteral("lblLastBackedTime"))
                 ->text(),
        QStringLiteral("2024-03-02"));
    // Today's files, whatever their kind, the latest backed-up change first.
    click(m_page->typeWidget()->label(KFileList::of(KListPage::Today)));
    QCOMPARE(keysOf(table), QStringList({ QStringLiteral("2024年03月"), lateMorning, morning }));
    m_env.platform()->setCurrentDateTime(QDateTime());
}

void TestMisCodePage::aSelfBackupIsRestoredToTheDesktop()
{
    const QString folder = KFileServiceManager::selfBackupFolder() + QStringLiteral("/case%1/").arg(m_case);
    const QDateTime written(QDate(2024, 5, 19), QTime(17, 2, 0));
    const QString selfBackup
        = m_env.writeFile(folder + QStringLiteral("投标报价_20240519_1702.pra4"), "self", written);
    KFileServiceManager::instance()->scanSelfBackups(); // as the next cycle does
    click(m_page->typeWidget()->label(KFileList::of(KListPage::SelfBackup)));
    QVERIFY(!m_page->tableHeader()->isBackedNumberVisible());
    KTableWidget* table = m_page->table();
    int at = keysOf(table).indexOf(selfBackup);
    QVERIFY(at > 0);

    click(table->rowWidget(at)->findChild<KLabel*>(QStringLiteral("lblBackBtn")));
    const QString onDesktop
        = KPlatform::instance()->desktopFolder() + QStringLiteral("/投标报价_20240519_1702.pra4");
    QCOMPARE(contentOf(onDesktop), QByteArray("self"));
    QCOMPARE(modifiedOf(onDesktop), written.toMSecsSinceEpoch());
    QTRY_COMPARE(
        m_env.platform()->revealedPaths().value(m_env.platform()->revealedPaths().size() - 1), onDesktop);

    // A self-backup gone meanwhile is reported; its row stays.
    QVERIFY(QFile::remove(selfBackup));
    KMessageBox::setNextAnswer(1);
    click(table->rowWidget(at)->findChild<KLabel*>(QStringLiteral("lblBackBtn")));
    QCOMPARE(
        KMessageBox::answeredTexts(), QStringList { QStringLiteral("备份文件丢失，请从其他版本恢复！") });
    QCOMPARE(table->rowKey(at), selfBackup);
    QFile::remove(onDesktop);
}

VK_WIDGET_TEST_MAIN(TestMisCodePage)
#include "tst_miscodepage.moc"
