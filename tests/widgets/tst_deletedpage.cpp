#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kcommonbutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/controls/kmenubutton.h"
#include "Widgets/deleted/kdeletedwidget.h"
#include "Widgets/deleted/ktablewidgetdeletedfileitem.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/table/knodatawidget.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "krecoverytest.h"
#include "ktracestore.h"
#include "kwidgettest.h"

#include <QLineEdit>
#include <QMenu>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace KRecoveryTest;

namespace {

const QString ClearQuestion = QStringLiteral("清空列表将再也无法找回这些文件，确定清空吗？");

} // namespace

class TestDeletedPage : public QObject
{
    Q_OBJECT

public:
    explicit TestDeletedPage(KTestEnvironment* env)
        : m_env(*env)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void bringingBackToTheOldPlaceStaysListedUntilCleared();
    void bringingBackToTheDesktopReplacesWithoutAsking();
    void failures_data();
    void failures();
    void deletingARowForgetsTheFile();
    void clearingAnEmptyListAsksThenShowsThePlaceholder();
    void aRefreshWhileABoxIsOpenChangesNothing();
    void searchShowsTheMatchingFilesAtAnySize();

private:
    // A protected file whose source is gone, with two versions; returns its path.
    QString deletedFile(const QString& name);
    KTableWidgetDeletedFileItem* row(const QString& key) const
    {
        return rowWithKey<KTableWidgetDeletedFileItem>(m_page->table(), key);
    }
    static void toOldPlace(KTableWidgetDeletedFileItem* row) { restoreToSourcePlace(row->findBackLabel()); }
    static void toDesktop(KTableWidgetDeletedFileItem* row) { restoreToDesktop(row->findBackLabel()); }

    KTestEnvironment& m_env;
    KRecoveryTest::UnansweredBoxes m_unanswered;
    std::unique_ptr<KDeletedWidget> m_page;
    QDateTime m_latestTime; // of the latest version of every deleted file
    QString m_work;
    int m_case = 0;
};

void TestDeletedPage::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2.0.1")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    // As the scanner does before its first cycle.
    KFileServiceManager::instance()->loadDatabase();
}

void TestDeletedPage::init()
{
    KFileServiceManager::instance()->cleanAll();
    KDeletedWidget::restoredRows().clear();
    m_work = m_env.makeFolder(QStringLiteral("work%1").arg(++m_case));
    m_page = std::make_unique<KDeletedWidget>();
    m_page->resize(798, 429);
}

void TestDeletedPage::cleanup()
{
    // Cleared before anything is compared, so that a failing case leaves nothing to the next.
    m_page.reset();
    const QStringList unanswered = m_unanswered.take();
    const int leftOver = KMessageBox::queuedAnswerCount();
    KMessageBox::clearNextAnswers();
    QCOMPARE(unanswered, QStringList());
    QCOMPARE(leftOver, 0);
}

QString TestDeletedPage::deletedFile(const QString& name)
{
    const QString path = m_work + QStringLiteral("旧项目/") + name;
    m_latestTime = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 3600);
    backUp(m_env, path, "first", m_latestTime.addSecs(-3600), 4);
    backUp(m_env, path, "latest", m_latestTime, 4);
    QFile::remove(path);
    return path;
}

void TestDeletedPage::bringingBackToTheOldPlaceStaysListedUntilCleared()
{
    const QString restored = deletedFile(QStringLiteral("结算 第2版.pra4"));
    const QString gone = deletedFile(QStringLiteral("车库.cva24"));
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onUpdate();
    QCOMPARE(m_page->table()->rowCount(), 2);

    toOldPlace(row(restored));
    QVERIFY(KMessageBox::answeredTexts().isEmpty());
    QCOMPARE(contentOf(restored), QByteArray("latest"));
    QCOMPARE(modifiedOf(restored) / 1000, m_latestTime.toSecsSinceEpoch());
    QCOMPARE(row(restored)->findBackLabel()->state(), 3);
    QVERIFY(
        row(restored)->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已找回到原位置")));
    QVERIFY(row(restored)->findChild<KLabel*>(QStringLiteral("lblDelete"))->isHidden());

    // The engine lists it no more; the page keeps it, brought back, at the end.
    engine->onUpdate();
    KTableWidget* table = m_page->table();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->rowKey(0), gone);
    QCOMPARE(table->rowKey(1), restored);
    QCOMPARE(row(restored)->findBackLabel()->state(), 3);
    QCOMPARE(row(gone)->findBackLabel()->state(), 1);

    KMessageBox::setNextAnswer(1);
    click(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn")));
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { ClearQuestion });
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(!m_page->placeholder()->isHidden());
    QVERIFY(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn"))->isHidden());
    QVERIFY(!engine->findFile(gone));
    // A file that is back in its place keeps its protection.
    const auto kept = engine->findFile(restored);
    QVERIFY(kept);
    QCOMPARE(kept->versionCount(), 2);
    engine->onUpdate();
    QCOMPARE(table->rowCount(), 0);
}

void TestDeletedPage::bringingBackToTheDesktopReplacesWithoutAsking()
{
    const QString path = deletedFile(QStringLiteral("支付申请表.xlsx"));
    const QString onDesktop = m_env.writeFile(
        KPlatform::instance()->desktopFolder() + QStringLiteral("/支付申请表.xlsx"), "earlier content");
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onUpdate();

    toDesktop(row(path));
    QVERIFY(KMessageBox::answeredTexts().isEmpty());
    QCOMPARE(contentOf(onDesktop), QByteArray("latest"));
    QVERIFY(row(path)->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已恢复到桌面")));
    QCOMPARE(row(path)->targetPath(), onDesktop);
    // The replaced file is a version of its own, listed with the protected files.
    const auto kept = engine->findFile(onDesktop);
    QVERIFY(kept);
    QCOMPARE(
        contentOf(KCommon::backupDirectory() + kept->versionIds().value(0)), QByteArray("earlier content"));

    // Still gone from its place, it is listed once, brought back.
    engine->onUpdate();
    QCOMPARE(m_page->table()->rowCount(), 1);
    QCOMPARE(row(path)->findBackLabel()->state(), 3);
    QFile::remove(onDesktop);
}

void TestDeletedPage::failures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("a vanished backup copy")
        << "copy gone" << QStringLiteral("备份文件丢失，请从其他版本找回！");
    QTest::newRow("an old folder the user may not write")
        << "read-only folder" << QStringLiteral("备份文件找回失败，可能文件正在被使用！");
}

void TestDeletedPage::failures()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const QString path = deletedFile(QStringLiteral("结算.pra4"));
    KFileServiceManager::instance()->onUpdate();
    const QString folder = QFileInfo(path).absolutePath();
    if (fault == QLatin1String("copy gone"))
        QVERIFY(QFile::remove(
            KFileServiceManager::instance()->findFile(path)->latestVersion()->backupFilePath()));
    else
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);

    KMessageBox::setNextAnswer(1);
    toOldPlace(row(path));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { message });
    QCOMPARE(row(path)->findBackLabel()->state(), 1);
    QVERIFY(entriesOf(folder).isEmpty());
}

void TestDeletedPage::deletingARowForgetsTheFile()
{
    const QString path = deletedFile(QStringLiteral("结算.pra4"));
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onUpdate();

    KMessageBox::setNextAnswer(0);
    click(row(path)->findChild<KLabel*>(QStringLiteral("lblDelete")));
    QVERIFY(engine->findFile(path));
    KMessageBox::setNextAnswer(1);
    click(row(path)->findChild<KLabel*>(QStringLiteral("lblDelete")));
    QCOMPARE(KMessageBox::answeredTexts().value(1),
        QStringLiteral("从列表里删除后这个文件就再也无法找回了，您确认永久删除它吗？"));
    QVERIFY(!engine->findFile(path));
    QVERIFY(entriesOf(KCommon::backupDirectory()).isEmpty());
    QCOMPARE(m_page->table()->rowCount(), 0);
    QVERIFY(!m_page->placeholder()->isHidden());
}

void TestDeletedPage::clearingAnEmptyListAsksThenShowsThePlaceholder()
{
    const QString cache = m_env.path(QStringLiteral("cache"));
    const int tracesBefore = readStoredTraces(traceDatabase(cache)).size();
    KMessageBox::setNextAnswer(1);
    click(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn")));
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { ClearQuestion });
    QVERIFY(!m_page->placeholder()->isHidden());
    QCOMPARE(
        m_page->placeholder()->text(), QStringLiteral("Vaultkeep保护中，已备份的文件被删除后会在这里看到"));
    QVERIFY(m_page->findChild<QWidget*>(QStringLiteral("lblTitleText"))->isHidden());

    QVERIFY(AtriumUserDataLogUtils::instance()->waitForUpload(10000));
    const QVector<KStoredTrace> traces = readStoredTraces(traceDatabase(cache)).mid(tracesBefore);
    QCOMPARE(traces.size(), 1);
    QCOMPARE(traces.at(0).operation, QStringLiteral("清空删除列表"));
    QCOMPARE(traces.at(0).page, QStringLiteral("误删找回"));
    QCOMPARE(traces.at(0).product, QStringLiteral("Vaultkeep"));
}

void TestDeletedPage::aRefreshWhileABoxIsOpenChangesNothing()
{
    const QString path = deletedFile(QStringLiteral("结算.pra4"));
    KFileServiceManager::instance()->onUpdate();
    {
        const KYMessageBox open(1, QStringLiteral("提示"), QStringLiteral("正文"), QString(), QString(), 2,
            QStringLiteral("确定"), QString(), false);
        m_page->onAfxDeletedPreUpdate();
        m_page->onAfxDeletedEndUpdate();
        QCOMPARE(m_page->table()->rowCount(), 1);
        QVERIFY(m_page->placeholder()->isHidden());
    }
    m_page->onAfxDeletedPreUpdate();
    m_page->onAfxDeletedEndUpdate();
    QCOMPARE(m_page->table()->rowCount(), 0);
    QVERIFY(!m_page->placeholder()->isHidden());
}

void TestDeletedPage::searchShowsTheMatchingFilesAtAnySize()
{
    const QString second = deletedFile(QStringLiteral("结算 第2版.pra4"));
    const QString garage = deletedFile(QStringLiteral("车库.CVA24"));
    const QString third = deletedFile(QStringLiteral("结算 第3版.pra4"));
    KFileServiceManager::instance()->onUpdate();
    KTableWidget* table = m_page->table();
    const auto shown = [table] {
        QStringList keys;
        for (int row = 0; row < table->rowCount(); ++row) {
            if (!table->isRowHidden(row))
                keys << table->rowKey(row);
        }
        return keys;
    };
    auto* search = m_page->findChild<QLineEdit*>(QStringLiteral("editSearch"));
    QVERIFY(search);

    QTest::keyClicks(search, QStringLiteral("cva"));
    QCOMPARE(shown(), QStringList { garage });
    deletedFile(QStringLiteral("结算 第4版.pra4"));
    KFileServiceManager::instance()->onUpdate(); // a refresh with another file keeps the search
    QCOMPARE(shown(), QStringList { garage });
    search->clear();
    QCOMPARE(shown().size(), 4);
    QVERIFY(shown().contains(second) && shown().contains(third));

    m_page->show();
    m_page->resize(1000, 600);
    QTRY_COMPARE(table->geometry(), QRect(0, 40, 1000, 560));
    QTRY_COMPARE(table->rowWidget(0)->width(), table->viewport()->width());
    const QRect clear = m_page->findChild<QWidget*>(QStringLiteral("lblClearBtn"))->geometry();
    QVERIFY(clear.right() < 1000 && clear.right() > 900);
    QVERIFY(search->geometry().right() < clear.left());
}

VK_RECOVERY_TEST_MAIN(TestDeletedPage)
#include "tst_deletedpage.moc"
