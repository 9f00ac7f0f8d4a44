#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kcommonbutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/controls/kmenubutton.h"
#include "Widgets/deleted/kdeletedwidget.h"
#include "Widgets/deleted/ktablewidgetdeletedfileitem.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/ksavefiledialog.h"
#include "Widgets/table/knodatawidget.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "Widgets/versions/krestoresteps.h"
#include "Widgets/versions/ktablewidgetbackedfileitem.h"
#include "krecoverytest.h"
#include "ktracestore.h"
#include "kwidgettest.h"
#include "service/kservices.h"

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
    void troubleAtTheOldPlace_data();
    void troubleAtTheOldPlace();
    void theLastStateOrAChosenVersionComesBack();
    void deletingARowForgetsTheFile();
    void clearingAnEmptyListAsksThenShowsThePlaceholder();
    void aRefreshWhileADialogIsOpenChangesNothing_data();
    void aRefreshWhileADialogIsOpenChangesNothing();
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
    KFileServiceManager* engine = KFileServiceManager::instance();
    // As the main window connects it.
    connect(engine, &KFileServiceManager::sigUpdate, engine, &KFileServiceManager::onUpdate);
    // As the scanner does before its first cycle.
    QVERIFY(!engine->loadDatabase()); // none yet
}

void TestDeletedPage::init()
{
    QVERIFY(KRecoveryTest::cleanAll());
    m_work = m_env.makeFolder(QStringLiteral("work%1").arg(++m_case));
    m_page = std::make_unique<KDeletedWidget>();
    m_page->setServices(KServices::process());
    m_page->resize(798, 429);
}

void TestDeletedPage::cleanup()
{
    // Cleared before anything is compared, so that a failing case leaves nothing to the next.
    m_page.reset();
    const QStringList unanswered = m_unanswered.take();
    const int leftOver = KMessageBox::queuedAnswerCount() + KSaveFileDialog::queuedFileNameCount();
    KMessageBox::clearNextAnswers();
    KSaveFileDialog::clearNextFileNames();
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

    // Copies that cannot be deleted keep their file's row, and say so.
    const QByteArray backups = QFile::encodeName(KCommon::backupDirectory());
    QVERIFY(::chmod(backups.constData(), 0500) == 0);
    KMessageBox::setNextAnswer(1);
    KMessageBox::setNextAnswer(1);
    click(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn")));
    QVERIFY(::chmod(backups.constData(), 0700) == 0);
    QCOMPARE(KMessageBox::answeredTexts(),
        QStringList({ ClearQuestion, QStringLiteral("对不起，文件删除失败！") }));
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->rowKey(0), gone);

    KMessageBox::clearNextAnswers();
    KMessageBox::setNextAnswer(1);
    click(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn")));
    QCOMPARE(KMessageBox::answeredTexts().constLast(), ClearQuestion);
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(KCommon::clearFolder(KCommon::backupDirectory())); // the copies left, as a sweep takes them
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
    QVERIFY(row(path)->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已找回到桌面")));
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

void TestDeletedPage::troubleAtTheOldPlace_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // of the one box; empty: none
    QTest::addColumn<bool>("restored");
    QTest::newRow("a vanished backup copy: reported")
        << "copy gone" << QStringLiteral("备份文件丢失，请从其他版本恢复！") << false;
    QTest::newRow("a backup copy altered at its size: refused as damaged")
        << "copy damaged" << KRestoreSteps::damagedText() << false;
    QTest::newRow("an old folder the user may not write: reported")
        << "read-only folder" << QStringLiteral("备份文件找回失败，可能文件正在被使用！") << false;
    QTest::newRow("the folders gone too: made again") << "folders gone" << QString() << true;
    QTest::newRow("a folder that cannot be made: named, and another place taken") << "folder blocked"
                                                                                  << "folder" << true;
}

void TestDeletedPage::troubleAtTheOldPlace()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(bool, restored);
    const QString path = deletedFile(QStringLiteral("结算.pra4"));
    const QString folder = QFileInfo(path).absolutePath();
    const QString elsewhere
        = m_env.makeFolder(QStringLiteral("别处%1").arg(m_case)) + QStringLiteral("结算.pra4");
    KFileServiceManager* engine = KFileServiceManager::instance();
    if (fault == QLatin1String("copy gone"))
        QVERIFY(QFile::remove(engine->findFile(path)->latestVersion()->backupFilePath()));
    if (fault == QLatin1String("copy damaged"))
        QVERIFY(
            !m_env.writeFile(engine->findFile(path)->latestVersion()->backupFilePath(), "LATEST").isEmpty());
    if (fault == QLatin1String("read-only folder"))
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    if (fault.startsWith(QLatin1String("folder")))
        QVERIFY(QDir(m_work).removeRecursively());
    if (fault == QLatin1String("folder blocked")) {
        QVERIFY(!m_env.writeFile(QDir::cleanPath(m_work), "in the way").isEmpty());
        message = KRestoreSteps::folderNotCreatedText(folder);
        KSaveFileDialog::setNextFileName(elsewhere);
    }
    engine->onUpdate();
    if (!message.isEmpty())
        KMessageBox::setNextAnswer(1);

    toOldPlace(row(path));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QFile::remove(QDir::cleanPath(m_work));
    QCOMPARE(KMessageBox::answeredTexts(), message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(row(path)->findBackLabel()->state(), restored ? 3 : 1);
    if (!restored) {
        QVERIFY(entriesOf(folder).isEmpty());
        return;
    }
    const QString target = fault == QLatin1String("folder blocked") ? elsewhere : path;
    QCOMPARE(contentOf(target), QByteArray("latest"));
    QCOMPARE(row(path)->targetPath(), target);
    QVERIFY(row(path)->findBackLabel()->resultText().contains(target == elsewhere
            ? QStringLiteral("别处%1").arg(m_case)
            : QStringLiteral("恭喜！文件已找回到原位置")));
}

// Brought back by default: the file's newest backup, its last state, even where an older copy
// put in place since carries an older modification time. Any other from its version dialog.
void TestDeletedPage::theLastStateOrAChosenVersionComesBack()
{
    const QString path = m_work + QStringLiteral("旧项目/结算.pra4");
    const QDateTime now = QDateTime::currentDateTime();
    m_env.platform()->setCurrentDateTime(now.addDays(-1));
    const QString edited = backUp(m_env, path, "edited yesterday", now.addDays(-1).addSecs(-60));
    m_env.platform()->setCurrentDateTime(now);
    backUp(m_env, path, "older copy put back today", now.addDays(-3));
    m_env.platform()->setCurrentDateTime(QDateTime());
    QFile::remove(path);
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onUpdate();

    toOldPlace(row(path));
    QCOMPARE(contentOf(path), QByteArray("older copy put back today"));

    QVERIFY(QFile::remove(path));
    // A new page: this one keeps the row as brought back until its list is cleared.
    m_page = std::make_unique<KDeletedWidget>();
    m_page->setServices(KServices::process());
    m_page->resize(798, 429);
    engine->onUpdate();
    QCOMPARE(row(path)->findBackLabel()->state(), 1);
    int openDialogs = 0;
    KWidgetTest::whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<KFileVersionDlg*>(modal);
        QVERIFY(dialog);
        openDialogs = KFileVersionDlg::openVersionDialogCount();
        // A refresh meanwhile leaves the page alone.
        engine->onUpdate();
        auto* version = rowWithKey<KTableWidgetBackedFileItem>(dialog->versionTable(), edited);
        restoreToSourcePlace(version->findBackLabel());
        dialog->close();
    });
    row(path)->findBackLabel()->menuButton()->menu()->actions().at(1)->trigger();
    QCOMPARE(openDialogs, 1);
    QCOMPARE(contentOf(path), QByteArray("edited yesterday"));
    QCOMPARE(row(path)->findBackLabel()->state(), 3);
    QVERIFY(row(path)->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已成功恢复")));
    // Listed as brought back once the page refreshes, after the dialog.
    QCoreApplication::processEvents();
    QCOMPARE(m_page->table()->rowCount(), 1);
    QCOMPARE(row(path)->findBackLabel()->state(), 3);
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

void TestDeletedPage::aRefreshWhileADialogIsOpenChangesNothing_data()
{
    QTest::addColumn<bool>("versionDialog");
    QTest::newRow("a message box") << false;
    QTest::newRow("a version dialog") << true;
}

void TestDeletedPage::aRefreshWhileADialogIsOpenChangesNothing()
{
    QFETCH(bool, versionDialog);
    const QString path = deletedFile(QStringLiteral("结算.pra4"));
    KFileServiceManager::instance()->onUpdate();
    {
        std::unique_ptr<QWidget> open;
        if (versionDialog)
            open = std::make_unique<KFileVersionDlg>(path, KServices::process());
        else
            open = std::make_unique<KYMessageBox>(1, QStringLiteral("提示"), QStringLiteral("正文"),
                QString(), QString(), 2, QStringLiteral("确定"), QString(), false);
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
