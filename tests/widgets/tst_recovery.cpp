#include "Widgets/compare/kcomparedialog.h"
#include "Widgets/controls/kclicklabel.h"
#include "Widgets/controls/kcommonbutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/deleted/kdeletedwidget.h"
#include "Widgets/deleted/ktablewidgetdeletedfileitem.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/ksavefiledialog.h"
#include "Widgets/miscode/kmiscodewidget.h"
#include "Widgets/table/knodatawidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/krestoresteps.h"
#include "Widgets/versions/ktablewidgetbackedfileitem.h"
#include "core/kconfig.h"
#include "core/kfiletypemanager.h"
#include "kfakekeyring.h"
#include "krecoverytest.h"
#include "ktracestore.h"
#include "offsite/kresticcommand.h"
#include "service/koffsiteservice.h"
#include "service/kservices.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTableView>
#include <QtTest>

#include <memory>

using namespace KRecoveryTest;

namespace {

const QString Overwrite = QStringLiteral("这会覆盖您原有的工程文件，确定要恢复到原位置吗？");
const QString SameName = QStringLiteral("目标位置已有同名文件，你是否需要自动改名并恢复？");
const QString Missing = QStringLiteral("备份文件丢失，请从其他版本恢复！");
const QString SourceFailed
    = QStringLiteral("无法恢复到原位置，可能原位置的文件正在编辑中，建议您恢复到其他位置。");
const QString InUse = QStringLiteral("备份文件找回失败，可能文件正在被使用！");
const QString ClearQuestion = QStringLiteral("清空列表将再也无法找回这些文件，确定清空吗？");
const QString DeleteFailed = QStringLiteral("对不起，文件删除失败！");

} // namespace

// The version dialog and the deleted page, on the engine of the process.
class TestRecovery : public QObject
{
    Q_OBJECT

public:
    explicit TestRecovery(KTestEnvironment* env)
        : m_env(*env)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void aFileWithoutVersionsSaysWhy_data();
    void aFileWithoutVersionsSaysWhy();
    void desktopRestoreOverASameNamedFile_data();
    void desktopRestoreOverASameNamedFile();
    void restoreFaults_data();
    void restoreFaults();
    void deletingARow_data();
    void deletingARow();
    void comparingAVersionAndOpeningItReadOnly();
    void bringingBackToTheOldPlaceStaysListedUntilCleared();
    void bringingBackToTheDesktopReplacesWithoutAsking();
    void theLastStateOrAChosenVersionComesBack();
    void aRefreshUnderAMessageBoxChangesNothing();
    void aLostCopyComesBackFromTheOffsiteRepository_data();
    void aLostCopyComesBackFromTheOffsiteRepository();

private:
    // Three versions of `path`, oldest first; then the file is changed since, or deleted.
    QStringList protect(const QString& path, bool deleted = false);
    std::unique_ptr<KFileVersionDlg> openDialog(const QString& path);
    static KTableWidgetBackedFileItem* rowOf(const KFileVersionDlg& dialog, const QString& fileId)
    {
        return rowWithKey<KTableWidgetBackedFileItem>(dialog.versionTable(), fileId);
    }
    KTableWidgetDeletedFileItem* row(const QString& path) const
    {
        return rowWithKey<KTableWidgetDeletedFileItem>(m_page->table(), path);
    }

    KTestEnvironment& m_env;
    KRecoveryTest::UnansweredBoxes m_unanswered;
    KNewTraces m_traces { m_env.path(QStringLiteral("cache")) };
    std::unique_ptr<KDeletedWidget> m_page;
    QString m_work;
    QString m_path; // a file in a folder of its own below m_work
    int m_case = 0;
};

void TestRecovery::initTestCase()
{
    qRegisterMetaType<KOffsiteProblem>(); // for the spy; the product never registers it
    m_env.addBackupDrive(QStringLiteral("D"));
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2.0.1")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    QVERIFY(KFileTypeManager::instance()->addFileExts(0, QStringLiteral("pra4")));
    KFileServiceManager* engine = KFileServiceManager::instance();
    // As the main window connects it, and as the scanner starts its first cycle.
    connect(engine, &KFileServiceManager::sigUpdate, engine, &KFileServiceManager::onUpdate);
    QVERIFY(!engine->loadDatabase()); // none yet
}

void TestRecovery::init()
{
    QVERIFY(KRecoveryTest::cleanAll());
    m_work = m_env.makeFolder(QStringLiteral("work%1").arg(++m_case));
    m_path = m_work + QStringLiteral("旧项目/教学楼 投标|报价.pra4");
    m_page = makePage<KDeletedWidget>();
    m_traces.take();
}

void TestRecovery::cleanup()
{
    // Cleared before anything is compared, so that a failing case leaves nothing to the next.
    m_page.reset();
    QCOMPARE(m_unanswered.leftOver(), QStringList());
    QCOMPARE(KFileVersionDlg::openVersionDialogCount(), 0);
}

QStringList TestRecovery::protect(const QString& path, bool deleted)
{
    QStringList ids;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < 3; ++i) {
        ids << backUp(m_env, path, QByteArray("version ") + QByteArray::number(i),
            QDateTime::fromSecsSinceEpoch(now - 3600 * (9 - 3 * i)));
    }
    if (deleted)
        QFile::remove(path);
    else
        m_env.writeFile(path, "changed since", QDateTime::fromSecsSinceEpoch(now - 3600));
    KFileServiceManager::instance()->onUpdate();
    return ids;
}

std::unique_ptr<KFileVersionDlg> TestRecovery::openDialog(const QString& path)
{
    auto dialog = std::make_unique<KFileVersionDlg>(path, KServices::process());
    QSignalSpy built(dialog.get(), &KFileVersionDlg::sigListBuilt);
    dialog->show();
    // The list is built once the dialog is up and its copies were looked at; a file without
    // versions closes the dialog instead.
    if (!QTest::qWaitFor([&] { return !built.isEmpty() || dialog->isHidden(); }))
        qWarning("the version list was not built in time");
    return dialog;
}

void TestRecovery::aFileWithoutVersionsSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("daysOld"); // -1: no such file
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a kind of file no product makes")
        << "notes.xyz" << 0 << true << QStringLiteral("Vaultkeep不保护“.xyz”类型的文件");
    QTest::newRow("a file below a folder the settings exclude")
        << "排除/plan.pra4" << 0 << false << QStringLiteral("所在的文件夹“*/排除”已在设置中排除");
    QTest::newRow("a file no program lists")
        << "plan.pra4" << 0 << false << QStringLiteral("没有程序在最近文件里列出它");
    QTest::newRow("a listed file changed today, before the next backup")
        << "plan.pra4" << 0 << true << QStringLiteral("会在下次备份时");
    QTest::newRow("a listed file unchanged for over a week")
        << "plan.pra4" << 9 << true << QStringLiteral("七天内没有改动");
    QTest::newRow("a file that is not there")
        << "plan.pra4" << -1 << true << QStringLiteral("找不到“plan.pra4”");
}

void TestRecovery::aFileWithoutVersionsSaysWhy()
{
    QFETCH(QString, name);
    QFETCH(int, daysOld);
    QFETCH(bool, listed);
    QFETCH(QString, reason);
    const QString path = m_work + name;
    if (daysOld >= 0)
        m_env.writeFile(path, "content", QDateTime::currentDateTime().addDays(-daysOld));
    QVERIFY(KConfig::instance()->setRecentExcludedFolders({ QStringLiteral("*/排除") }));
    // The lists of a cycle that made no backups.
    KFileServiceManager* engine = KFileServiceManager::instance();
    const QStringList lists = listed ? QStringList { path } : QStringList();
    engine->onScanBegin();
    engine->onFilesFound(&lists, 0, false);
    engine->onScanFinished();

    KFileVersionDlg dialog(path, KServices::process());
    KMessageBox::setNextAnswer(1);
    const int result = dialog.exec();
    QVERIFY(KConfig::instance()->setRecentExcludedFolders({}));
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(KMessageBox::answeredTexts().size(), 1);
    QVERIFY2(
        KMessageBox::answeredTexts().at(0).contains(reason), qPrintable(KMessageBox::answeredTexts().at(0)));
    // Shown all the same (its record gone meanwhile), the dialog closes as its list is built.
    QVERIFY(openDialog(path)->isHidden());
}

void TestRecovery::desktopRestoreOverASameNamedFile_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("renamed after the existing file's time") << 1;
    QTest::newRow("the existing file overwritten, kept as a version") << 0;
    QTest::newRow("the question closed: nothing restored") << -1;
}

void TestRecovery::desktopRestoreOverASameNamedFile()
{
    QFETCH(int, answer);
    const QString path = m_work + QStringLiteral("plan.v2.pra4");
    const QStringList ids = protect(path);
    const QString desktop = KPlatform::instance()->desktopFolder();
    const QDateTime existingTime(QDate(2024, 3, 5), QTime(8, 9, 10));
    const QString onDesktop
        = m_env.writeFile(desktop + QStringLiteral("/plan.v2.pra4"), "on the desktop", existingTime);
    const QStringList before = KTestEnvironment::entriesOf(desktop);
    const auto dialog = openDialog(path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(1));

    KMessageBox::setNextAnswer(answer);
    restoreToDesktop(row->findBackLabel());
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { SameName });
    QCOMPARE(row->findBackLabel()->state(), answer == -1 ? 1 : 3);
    const QString renamed = desktop + QStringLiteral("/plan.v22024-03-05-08-09-10.pra4");
    if (answer != -1)
        QCOMPARE(row->targetPath(), answer == 1 ? renamed : onDesktop);
    QCOMPARE(contentOf(onDesktop), QByteArray(answer == 0 ? "version 1" : "on the desktop"));
    const auto kept = KFileServiceManager::instance()->findFile(onDesktop);
    QCOMPARE(bool(kept), answer == 0);
    if (answer == 1) {
        QCOMPARE(contentOf(renamed), QByteArray("version 1"));
        QCOMPARE(modifiedOf(onDesktop), existingTime.toMSecsSinceEpoch());
        QVERIFY(row->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已恢复到桌面")));
    } else if (answer == 0) {
        QCOMPARE(contentOf(KCommon::backupDirectory() + kept->versionIds().value(0)),
            QByteArray("on the desktop"));
    } else {
        QCOMPARE(KTestEnvironment::entriesOf(desktop), before);
    }
    QFile::remove(renamed);
    QFile::remove(onDesktop);
}

// What either view says and does when a restore to the file's own place meets trouble. The
// newest version is restored; "folder" in the texts stands for the box naming the folder.
void TestRecovery::restoreFaults_data()
{
    QTest::addColumn<bool>("deleted"); // the deleted page's row, else the version dialog's
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QString>("saveAs"); // what the save-file dialog gives: "elsewhere", "" (cancelled)
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("restored"); // "source", "elsewhere"; empty: not restored

    const QString none = QStringLiteral("none");
    const QList<int> one { 1 };
    const QList<int> two { 1, 1 };
    QTest::newRow("versions: the changed file there is kept as a version, then replaced")
        << false << "none" << one << none << QStringList { Overwrite } << "source";
    QTest::newRow("versions: a vanished copy is reported and its row removed")
        << false << "copy gone" << one << none << QStringList { Missing } << "";
    QTest::newRow("versions: a copy altered at its size is refused, and shown damaged from then on")
        << false << "copy altered" << two << none << QStringList { Overwrite, KRestoreSteps::damagedText() }
        << "";
    QTest::newRow("versions: the file there cannot be backed up first")
        << false << "backups read-only" << two << none
        << QStringList { Overwrite, KRestoreSteps::notSavedText() } << "";
    QTest::newRow("versions: the file's folder, gone with it, is made again")
        << false << "folder gone" << QList<int>() << none << QStringList() << "source";
    QTest::newRow("versions: a folder that cannot be made is named, and another place taken")
        << false << "folder blocked" << one << "elsewhere" << QStringList { QStringLiteral("folder") }
        << "elsewhere";
    QTest::newRow("versions: a failed copy, then another place, the file's own name proposed")
        << false << "folder read-only" << two << "elsewhere" << QStringList { Overwrite, SourceFailed }
        << "elsewhere";
    QTest::newRow("versions: a failed copy, then the same place again after 200 ms")
        << false << "folder read-only, repaired" << QList<int> { 1, 0 } << none
        << QStringList { Overwrite, SourceFailed } << "source";
    QTest::newRow("versions: a failed copy, the save-file dialog cancelled")
        << false << "folder read-only" << two << "" << QStringList { Overwrite, SourceFailed } << "";
    QTest::newRow("deleted: an old folder the user may not write is reported")
        << true << "folder read-only" << one << none << QStringList { InUse } << "";
    QTest::newRow("deleted: the folders gone too are made again")
        << true << "folder gone" << QList<int>() << none << QStringList() << "source";
}

void TestRecovery::restoreFaults()
{
    QFETCH(bool, deleted);
    QFETCH(QString, fault);
    QFETCH(QList<int>, answers);
    QFETCH(QString, saveAs);
    QFETCH(QStringList, texts);
    QFETCH(QString, restored);
    const QString folder = QFileInfo(m_path).absolutePath();
    const QString backups = KCommon::backupDirectory();
    const QString elsewhere
        = m_env.makeFolder(QStringLiteral("别处%1").arg(m_case)) + QStringLiteral("副本.pra4");
    const QStringList ids = protect(m_path, deleted);
    if (fault == QLatin1String("copy gone"))
        QVERIFY(QFile::remove(backups + ids.at(2)));
    if (fault == QLatin1String("copy altered")) {
        QVERIFY(!m_env.writeFile(backups + ids.at(2), "VERSION 2").isEmpty());
        QVERIFY(QFile::resize(backups + ids.at(0), 2)); // a copy cut short shows at once
    }
    if (fault == QLatin1String("backups read-only"))
        QVERIFY(KTestEnvironment::setMode(backups, 0555));
    if (fault.startsWith(QLatin1String("folder read-only")))
        QVERIFY(KTestEnvironment::setMode(folder, 0555));
    if (fault == QLatin1String("folder gone") || fault == QLatin1String("folder blocked"))
        QVERIFY(QDir(m_work).removeRecursively());
    if (fault == QLatin1String("folder blocked"))
        QVERIFY(!m_env.writeFile(QDir::cleanPath(m_work), "in the way").isEmpty());
    texts.replaceInStrings(
        QRegularExpression(QStringLiteral("^folder$")), KRestoreSteps::folderNotCreatedText(folder));
    for (int answer : qAsConst(answers))
        KMessageBox::setNextAnswer(answer);
    if (saveAs != QLatin1String("none"))
        KSaveFileDialog::setNextFileName(saveAs.isEmpty() ? QString() : elsewhere);
    std::unique_ptr<KFileVersionDlg> dialog = deleted ? nullptr : openDialog(m_path);
    const auto control = [&]() -> KFindBackLabel* {
        if (deleted)
            return row(m_path) ? row(m_path)->findBackLabel() : nullptr;
        return rowOf(*dialog, ids.at(2)) ? rowOf(*dialog, ids.at(2))->findBackLabel() : nullptr;
    };
    if (!deleted) {
        QCOMPARE(rowOf(*dialog, ids.at(0))->findBackLabel()->isVisibleTo(dialog.get()),
            fault != QLatin1String("copy altered"));
    }
    // The folder becomes writable while the row waits to retry.
    if (fault.endsWith(QLatin1String("repaired")))
        QTimer::singleShot(50, [&] { std::ignore = KTestEnvironment::setMode(folder, 0755); });
    QElapsedTimer clock;
    clock.start();
    restoreToSourcePlace(control());
    const qint64 took = clock.elapsed();
    std::ignore = KTestEnvironment::setMode(folder, 0755);
    std::ignore = KTestEnvironment::setMode(backups, 0700);
    QFile::remove(QDir::cleanPath(m_work));
    QCOMPARE(KMessageBox::answeredTexts(), texts);
    if (fault == QLatin1String("copy gone") && !deleted) {
        QVERIFY(!control());
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("2"));
        return;
    }
    if (fault == QLatin1String("none")) {
        // Listed again: the state kept on top, the version restored showing where it went.
        QVERIFY(QSignalSpy(dialog.get(), &KFileVersionDlg::sigListBuilt).wait());
        QCOMPARE(dialog->versionTable()->rowCount(), 4);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("4"));
        QVERIFY(!ids.contains(dialog->versionTable()->rowKey(0)));
        QCOMPARE(rowOf(*dialog, ids.at(2))->targetPath(), m_path);
        QVERIFY(rowOf(*dialog, ids.at(2))->findChild<KLabel*>(QStringLiteral("lblDelete"))->isHidden());
        QVERIFY(rowOf(*dialog, ids.at(2))->findChild<QLabel*>(QStringLiteral("lblCompare"))->isHidden());
        QCOMPARE(rowOf(*dialog, ids.at(1))->findBackLabel()->state(), 1);
        // Only the newest is marked; each row tells the time of its own FileID.
        for (const QWidget* shown :
            { dialog->versionTable()->rowWidget(0), dialog->versionTable()->rowWidget(1) }) {
            const auto* mark = shown->findChild<QLabel*>(QStringLiteral("lblNewest"));
            QCOMPARE(mark && mark->isVisibleTo(shown), shown == dialog->versionTable()->rowWidget(0));
        }
        QCOMPARE(rowOf(*dialog, ids.at(1))->findChild<QLabel*>(QStringLiteral("lblBackedTime"))->text(),
            KFileVersionDlg::backupTimeText(ids.at(1)));
    }
    QCOMPARE(control()->state(), restored.isEmpty() ? 1 : 3);
    if (restored.isEmpty()) {
        QCOMPARE(contentOf(m_path), QByteArray(deleted ? "<unreadable>" : "changed since"));
        QCOMPARE(KTestEnvironment::entriesOf(folder),
            deleted ? QStringList() : QStringList { QFileInfo(m_path).fileName() });
        if (fault == QLatin1String("copy altered") && !deleted) {
            // Shown as damaged from then on, instead of being offered.
            QVERIFY(!control()->isVisibleTo(dialog.get()));
            dialog = openDialog(m_path);
            QVERIFY(!control()->isVisibleTo(dialog.get()));
            QVERIFY(rowOf(*dialog, ids.at(1))->findBackLabel()->isVisibleTo(dialog.get()));
        }
        return;
    }
    if (fault.endsWith(QLatin1String("repaired")))
        QVERIFY2(took >= 200, qPrintable(QStringLiteral("%1 ms").arg(took)));
    if (fault == QLatin1String("folder read-only") && !deleted) {
        QCOMPARE(KSaveFileDialog::answeredRequests(),
            QStringList { m_path + QStringLiteral("|所有文件 (*.pra4)") });
    }
    const QString target = restored == QLatin1String("source") ? m_path : elsewhere;
    QCOMPARE(contentOf(target), QByteArray("version 2"));
    const QString result = control()->resultText();
    QVERIFY2(result.contains(restored == QLatin1String("source")
                     ? (deleted ? QStringLiteral("恭喜！文件已找回到原位置")
                                : QStringLiteral("恭喜！文件已成功恢复"))
                     : QStringLiteral("恭喜！已恢复至“别处%1”").arg(m_case)),
        qPrintable(result));
    // Its open button shows the copy in the file manager.
    click(control()->findChild<QWidget*>(QStringLiteral("btnOpenFolder")));
    QCOMPARE(m_env.platform()->revealedPaths().constLast(), target);
}

void TestRecovery::deletingARow_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<QString>("question");
    QTest::newRow("a version in the version dialog") << false << QStringLiteral("是否删除该备份文件？");
    QTest::newRow("a file on the deleted page")
        << true << QStringLiteral("从列表里删除后这个文件就再也无法找回了，您确认永久删除它吗？");
}

void TestRecovery::deletingARow()
{
    QFETCH(bool, deleted);
    QFETCH(QString, question);
    QStringList ids = protect(m_path, deleted);
    KFileServiceManager* engine = KFileServiceManager::instance();
    std::unique_ptr<KFileVersionDlg> dialog = deleted ? nullptr : openDialog(m_path);
    const auto deleteRow = [&](const QString& id, const QList<int>& answers) {
        for (int answer : answers)
            KMessageBox::setNextAnswer(answer);
        QWidget* shown = deleted ? static_cast<QWidget*>(row(m_path)) : rowOf(*dialog, id);
        click(shown->findChild<KLabel*>(QStringLiteral("lblDelete")));
    };
    const auto rows = [&] {
        return deleted ? m_page->table()->rowCount() : dialog->versionTable()->rowCount();
    };

    // A row lights up under the mouse and turns white again once it leaves.
    QWidget* hovered = deleted ? static_cast<QWidget*>(row(m_path)) : rowOf(*dialog, ids.at(2));
    for (const auto& [type, fill] :
        { qMakePair(QEvent::Enter, QColor(0xed, 0xf4, 0xfd)), qMakePair(QEvent::Leave, QColor(Qt::white)) }) {
        QEvent crossing(type);
        QApplication::sendEvent(hovered, &crossing);
        QCOMPARE(hovered->grab().toImage().pixelColor(5, 5), fill);
    }
    // Inside the list a label writes in its text colour, not its window text colour: both carry its ink.
    for (const QLabel* label : hovered->findChildren<QLabel*>())
        QCOMPARE(
            label->palette().color(label->foregroundRole()), label->palette().color(QPalette::WindowText));

    deleteRow(ids.at(2), { 0 });
    QVERIFY(engine->findFile(m_path));
    if (!deleted) {
        // A copy that cannot be deleted keeps its version and its row.
        QVERIFY(KTestEnvironment::setMode(KCommon::backupDirectory(), 0555));
        deleteRow(ids.at(2), { 1, 1 }); // the question, then the failure box
        QVERIFY(KTestEnvironment::setMode(KCommon::backupDirectory(), 0700));
        QCOMPARE(KMessageBox::answeredTexts().constLast(), DeleteFailed);
        QCOMPARE(rows(), 3);
    }
    QCOMPARE(KMessageBox::answeredTexts().constFirst(), question);

    for (const QString& id : deleted ? ids.mid(0, 1) : ids)
        deleteRow(id, { 1 });
    QCOMPARE(rows(), 0);
    QVERIFY(KTestEnvironment::entriesOf(KCommon::backupDirectory()).isEmpty());
    QVERIFY(!engine->findFile(m_path));
    if (deleted) {
        QVERIFY(!m_page->placeholder()->isHidden());
    } else {
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("0"));
        QCOMPARE(m_traces.take().filter(QStringLiteral("删除一条备份|备份列表")).size(), 3);
    }
}

void TestRecovery::comparingAVersionAndOpeningItReadOnly()
{
    const QString path = m_work + QStringLiteral("说明.txt");
    const QStringList ids = protect(path);
    const auto dialog = openDialog(path);
    // The texts of the view a row's compare link opens, once it shows its result.
    const auto compare = [&](const QString& id) {
        click(rowOf(*dialog, id)->findChild<KClickLabel*>(QStringLiteral("lblCompare")));
        std::unique_ptr<KCompareDialog> view(dialog->findChild<KCompareDialog*>());
        QStringList shown;
        if (!view || !QTest::qWaitFor([&view] { return !view->isBusy(); }))
            return shown;
        shown << view->findChild<QLabel*>(QStringLiteral("lblVerdict"))->text();
        const QAbstractItemModel* lines = view->findChild<QTableView*>(QStringLiteral("diffView"))->model();
        for (int row = 0; row < lines->rowCount(); ++row)
            shown << lines->index(row, 2).data().toString();
        return shown;
    };

    QCOMPARE(compare(ids.at(1)),
        (QStringList { QStringLiteral("删除 1 行，新增 1 行。"), QStringLiteral("version 1"),
            QStringLiteral("changed since") }));

    // With the file gone, a version is compared with the one before it; the oldest with nothing.
    QVERIFY(QFile::remove(path));
    QCOMPARE(compare(ids.at(1)).mid(1),
        (QStringList { QStringLiteral("version 0"), QStringLiteral("version 1") }));
    QVERIFY(compare(ids.at(0)).value(0).startsWith(QStringLiteral("无法比较")));

    // A private copy of the version, read-only, goes to the desktop's program.
    click(rowOf(*dialog, ids.at(2))->findChild<KClickLabel*>(QStringLiteral("lblOpenCopy")));
    QTRY_COMPARE(m_env.platform()->openedPaths().size(), 1);
    const QString copy = m_env.platform()->openedPaths().constFirst();
    QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral("说明.txt"));
    QCOMPARE(contentOf(copy), QByteArray("version 2"));
}

void TestRecovery::bringingBackToTheOldPlaceStaysListedUntilCleared()
{
    const QString gone = m_work + QStringLiteral("车库.pra4");
    protect(gone, true);
    protect(m_path, true);
    QCOMPARE(m_page->table()->rowCount(), 2);

    restoreToSourcePlace(row(m_path)->findBackLabel());
    QVERIFY(KMessageBox::answeredTexts().isEmpty());
    QCOMPARE(contentOf(m_path), QByteArray("version 2"));
    QVERIFY(row(m_path)->findChild<KLabel*>(QStringLiteral("lblDelete"))->isHidden());

    // The engine lists it no more; the page keeps it, brought back, at the end.
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onUpdate();
    KTableWidget* table = m_page->table();
    QCOMPARE(keysOf(table), QStringList({ gone, m_path }));
    QCOMPARE(row(m_path)->findBackLabel()->state(), 3);
    QCOMPARE(row(gone)->findBackLabel()->state(), 1);

    // Copies that cannot be deleted keep their file's row, and say so.
    QVERIFY(KTestEnvironment::setMode(KCommon::backupDirectory(), 0500));
    KMessageBox::setNextAnswer(1);
    KMessageBox::setNextAnswer(1);
    click(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn")));
    QVERIFY(KTestEnvironment::setMode(KCommon::backupDirectory(), 0700));
    QCOMPARE(KMessageBox::answeredTexts(), QStringList({ ClearQuestion, DeleteFailed }));
    QCOMPARE(keysOf(table), QStringList { gone });

    KMessageBox::clearNextAnswers();
    KMessageBox::setNextAnswer(1);
    click(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn")));
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(KCommon::clearFolder(KCommon::backupDirectory())); // the copies left, as a sweep takes them
    QVERIFY(!m_page->placeholder()->isHidden());
    QVERIFY(m_page->findChild<KCommonButton*>(QStringLiteral("lblClearBtn"))->isHidden());
    QVERIFY(m_page->findChild<QWidget*>(QStringLiteral("lblTitleText"))->isHidden());
    QVERIFY(!engine->findFile(gone));
    // A file that is back in its place keeps its protection.
    QCOMPARE(engine->findFile(m_path)->versionCount(), 3);
    engine->onUpdate();
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(m_traces.take().contains(QStringLiteral("清空删除列表|误删找回|Vaultkeep|手动操作")));
}

void TestRecovery::bringingBackToTheDesktopReplacesWithoutAsking()
{
    protect(m_path, true);
    const QString onDesktop = m_env.writeFile(
        KPlatform::instance()->desktopFolder() + QLatin1Char('/') + QFileInfo(m_path).fileName(), "earlier");

    restoreToDesktop(row(m_path)->findBackLabel());
    QVERIFY(KMessageBox::answeredTexts().isEmpty());
    QCOMPARE(contentOf(onDesktop), QByteArray("version 2"));
    QVERIFY(row(m_path)->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已找回到桌面")));
    QCOMPARE(row(m_path)->targetPath(), onDesktop);

    // Still gone from its place, it is listed once, brought back.
    KFileServiceManager::instance()->onUpdate();
    QCOMPARE(m_page->table()->rowCount(), 1);
    QCOMPARE(row(m_path)->findBackLabel()->state(), 3);
    QFile::remove(onDesktop);
}

// Brought back by default: the file's newest backup, its last state, even where an older copy
// put in place since carries an older modification time. Any other from its version dialog.
void TestRecovery::theLastStateOrAChosenVersionComesBack()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_env.platform()->setCurrentDateTime(now.addDays(-1));
    const QString edited = backUp(m_env, m_path, "edited yesterday", now.addDays(-1).addSecs(-60));
    m_env.platform()->setCurrentDateTime(now);
    backUp(m_env, m_path, "older copy put back today", now.addDays(-3));
    m_env.platform()->setCurrentDateTime(QDateTime());
    QFile::remove(m_path);
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onUpdate();

    restoreToSourcePlace(row(m_path)->findBackLabel());
    QCOMPARE(contentOf(m_path), QByteArray("older copy put back today"));

    QVERIFY(QFile::remove(m_path));
    // A new page: this one keeps the row as brought back until its list is cleared.
    m_page = makePage<KDeletedWidget>();
    engine->onUpdate();
    QCOMPARE(row(m_path)->findBackLabel()->state(), 1);
    int openDialogs = 0;
    KWidgetTest::whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<KFileVersionDlg*>(modal);
        QVERIFY(dialog);
        openDialogs = KFileVersionDlg::openVersionDialogCount();
        QVERIFY(QTest::qWaitFor([dialog] { return dialog->versionTable()->rowCount() > 0; }));
        // A refresh meanwhile leaves the page alone.
        engine->onUpdate();
        restoreToSourcePlace(rowOf(*dialog, edited)->findBackLabel());
        dialog->close();
    });
    row(m_path)->findBackLabel()->menuButton()->menu()->actions().at(1)->trigger();
    QCOMPARE(openDialogs, 1);
    QCOMPARE(contentOf(m_path), QByteArray("edited yesterday"));
    QCOMPARE(row(m_path)->findBackLabel()->state(), 3);
    // Listed as brought back once the page refreshes, after the dialog.
    QCoreApplication::processEvents();
    QCOMPARE(m_page->table()->rowCount(), 1);
    QCOMPARE(row(m_path)->findBackLabel()->state(), 3);
}

void TestRecovery::aRefreshUnderAMessageBoxChangesNothing()
{
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onShowPageByType(KFileList::of(KListPage::Recent));
    const auto misEdit = makePage<KMisCodeWidget>();
    protect(m_path);
    const QStringList shown = keysOf(misEdit->table());
    QVERIFY(shown.contains(m_path));
    {
        KYMessageBox box(1, QStringLiteral("提示"), QStringLiteral("正文"), QString(), QString(), 2,
            QStringLiteral("确定"), QString(), false);
        QVERIFY(KRecoveryTest::cleanAll());
        engine->onUpdate();
        QCOMPARE(keysOf(misEdit->table()), shown);
    }
    engine->onUpdate();
    QVERIFY(!keysOf(misEdit->table()).contains(m_path));
    QVERIFY(!misEdit->placeholder()->isHidden());
}

void TestRecovery::aLostCopyComesBackFromTheOffsiteRepository_data()
{
    QTest::addColumn<bool>("deleted"); // the deleted page's row, else the version dialog's
    QTest::addColumn<bool>("cut"); // the copy here cut short, else gone
    QTest::addColumn<QByteArray>("password"); // what the product knows when it fetches
    QTest::addColumn<QString>("told");
    QTest::newRow("versions: a copy gone is fetched, put back and restored byte for byte")
        << false << false << QByteArray() << QString();
    QTest::newRow("versions: a wrong password is told; the copy, the file and the database stay")
        << false << true << QByteArray("not the password")
        << QStringLiteral("异地备份密码不正确，请在设置中重新输入后再试。");
    QTest::newRow("deleted: the copy gone is fetched after asking, and the file brought back")
        << true << false << QByteArray() << QString();
    QTest::newRow("deleted: a wrong password is told; nothing is brought back, the database stays")
        << true << false << QByteArray("not the password")
        << QStringLiteral("异地备份密码不正确，请在设置中重新输入后再试。");
}

void TestRecovery::aLostCopyComesBackFromTheOffsiteRepository()
{
    if (KResticCommand::findProgram(QStringLiteral("restic")).isEmpty())
        QSKIP("restic is not installed (Debian: apt install restic)");
    QFETCH(bool, deleted);
    QFETCH(bool, cut);
    QFETCH(QByteArray, password);
    QFETCH(QString, told);
    constexpr int Timeout = 60000;
    const QByteArray stored = QByteArrayLiteral("Kq7-offsite-correct-horse");
    KFileServiceManager* engine = KFileServiceManager::instance();
    KOffsiteSettings settings;
    settings.repository = m_env.path(QStringLiteral("offsite%1").arg(m_case));
    QVERIFY(KConfig::instance()->setOffsite(false, settings.repository, 90, 60));
    KOffsiteService service(engine, KConfig::instance(), m_env.platform(), new KFakeKeyring(stored));
    // Switched on without a repository, nothing offers to fetch from one.
    QVERIFY(KConfig::instance()->setOffsite(true, QString(), 90, 60));
    QVERIFY(!service.canFetch());
    QVERIFY(KConfig::instance()->setOffsite(false, settings.repository, 90, 60));
    KServices services = KServices::process();
    services.offsite = &service;
    m_page = std::make_unique<KDeletedWidget>();
    m_page->setServices(services);
    const QStringList ids = protect(m_path, deleted);
    service.start();
    QSignalSpy tested(&service, &KOffsiteService::connectionTested);
    service.testConnection(settings, stored, true);
    QTRY_COMPARE_WITH_TIMEOUT(tested.size(), 1, Timeout);
    QCOMPARE(tested.at(0).at(0).value<KOffsiteProblem>(), KOffsiteProblem::None);
    settings.enabled = true;
    QVERIFY(service.apply(settings, QByteArray()));
    service.backUpNow();
    QTRY_VERIFY_WITH_TIMEOUT(service.status().lastBackupMSecs >= 0, Timeout);
    QCOMPARE(service.status().lastProblem, KOffsiteProblem::None);
    if (!password.isEmpty())
        QVERIFY(service.apply(settings, password));

    const QString version = deleted ? ids.at(2) : ids.at(1);
    const QString lost = KCommon::backupDirectory() + version;
    QVERIFY(cut ? QFile::resize(lost, 3) : QFile::remove(lost));
    const QByteArray database = contentOf(engine->databasePath());
    const auto restored = [&] {
        QCOMPARE(contentOf(lost), QByteArray(deleted ? "version 2" : "version 1"));
        QCOMPARE(KTestEnvironment::modeOf(lost), 0600u);
    };
    KMessageBox::setNextAnswer(1);
    if (deleted) {
        const QString asked = QStringLiteral("这个文件的备份文件已丢失，是否从异地备份找回后再恢复？");
        if (!told.isEmpty())
            KMessageBox::setNextAnswer(1); // for what it tells
        restoreToSourcePlace(row(m_path)->findBackLabel());
        QCOMPARE(row(m_path)->findBackLabel()->state(), 2); // working, and the window goes on
        if (!told.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(KMessageBox::answeredTexts(), (QStringList { asked, told }), Timeout);
            QCOMPARE(row(m_path)->findBackLabel()->state(), 1);
            QVERIFY(!QFileInfo::exists(lost));
            QVERIFY(!QFileInfo::exists(m_path));
            QCOMPARE(contentOf(engine->databasePath()), database);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(m_path), QByteArray("version 2"), Timeout);
        QCOMPARE(KMessageBox::answeredTexts(), QStringList { asked });
        restored();
        return;
    }
    const auto dialog = std::make_unique<KFileVersionDlg>(m_path, services);
    QSignalSpy built(dialog.get(), &KFileVersionDlg::sigListBuilt);
    dialog->show();
    QVERIFY(built.wait());
    const auto fetch = [&](const QString& id) {
        return rowOf(*dialog, id)->findChild<KClickLabel*>(QStringLiteral("lblFetch"));
    };
    QVERIFY(fetch(version)->isVisibleTo(dialog.get()));
    // A copy gone shows the size it had, and that it is gone.
    QCOMPARE(rowOf(*dialog, version)->findChild<QLabel*>(QStringLiteral("lblSize"))->text(),
        cut ? QStringLiteral("3B") : KCommon::formatSize(9) + QStringLiteral(" 已丢失"));
    QVERIFY(!rowOf(*dialog, version)->findBackLabel()->isVisibleTo(dialog.get()));
    // A row that offers no fetch has no link at all, or a hidden one.
    QVERIFY(!fetch(ids.at(2)) || !fetch(ids.at(2))->isVisibleTo(dialog.get()));
    click(fetch(version));
    QVERIFY(!fetch(version)->isEnabled()); // working, and the window goes on
    QTRY_VERIFY_WITH_TIMEOUT(KMessageBox::queuedAnswerCount() == 0 || !fetch(version)->isVisible(), Timeout);
    if (!told.isEmpty()) {
        QCOMPARE(KMessageBox::answeredTexts(), QStringList { told });
        QVERIFY(fetch(version)->isEnabled());
        QCOMPARE(contentOf(lost), QByteArray("ver"));
        QCOMPARE(contentOf(m_path), QByteArray("changed since"));
        QCOMPARE(contentOf(engine->databasePath()), database);
        return;
    }
    restored();
    // Then restored as any version here.
    restoreToSourcePlace(rowOf(*dialog, version)->findBackLabel());
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { Overwrite });
    QCOMPARE(contentOf(m_path), QByteArray("version 1"));
}

VK_WIDGET_TEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
