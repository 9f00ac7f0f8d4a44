#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/compare/kcomparedialog.h"
#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kclicklabel.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/controls/kmenubutton.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/kqttranslations.h"
#include "Widgets/dialogs/ksavefiledialog.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "Widgets/versions/krestoresteps.h"
#include "Widgets/versions/ktablewidgetbackedfileitem.h"
#include "core/kconfig.h"
#include "core/kfiletypemanager.h"
#include "krecoverytest.h"
#include "ktracestore.h"
#include "kwidgettest.h"
#include "service/kservices.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace KRecoveryTest;

namespace {

const QString Overwrite = QStringLiteral("这会覆盖您原有的工程文件，确定要恢复到原位置吗？");
const QString SameName = QStringLiteral("目标位置已有同名文件，你是否需要自动改名并恢复？");
const QString Missing = QStringLiteral("备份文件丢失，请从其他版本恢复！");
const QString SourceFailed
    = QStringLiteral("无法恢复到原位置，可能原位置的文件正在编辑中，建议您恢复到其他位置。");
const QString ToDesktop = QStringLiteral("恭喜！文件已恢复到桌面");
const QString NotSaved
    = QStringLiteral("目标位置已有的文件无法先行备份，为免丢失，本次没有恢复。请检查备份盘的空间后再试。");
const QString Damaged = QStringLiteral("备份文件已损坏，无法用它恢复，请从其他版本恢复！");

QDateTime hoursAgo(int hours)
{
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 3600 * hours);
}

bool setMode(const QString& path, unsigned mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class TestVersionDialog : public QObject
{
    Q_OBJECT

public:
    explicit TestVersionDialog(KTestEnvironment* env)
        : m_env(*env)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void listsVersionsNewestBackupFirst();
    void aFileWithoutVersionsSaysWhy_data();
    void aFileWithoutVersionsSaysWhy();
    void restoreToTheSourcePlaceOverAChangedFile();
    void restoreWhereAFolderIsMissing_data();
    void restoreWhereAFolderIsMissing();
    void aVanishedBackupCopyIsReportedAndItsRowRemoved();
    void desktopRestoreOverASameNamedFile_data();
    void desktopRestoreOverASameNamedFile();
    void afterAFailedCopy_data();
    void afterAFailedCopy();
    void anotherPlaceIsAskedForInTheUsersLanguage();
    void refusedRestoresSayWhy_data();
    void refusedRestoresSayWhy();
    void deletingVersions();
    void comparingAVersionAndOpeningItReadOnly();

private:
    // A protected file with three versions, the newest first changed since; oldest first.
    QStringList protectWithThreeVersions(const QString& name);
    std::unique_ptr<KFileVersionDlg> openDialog(const QString& path);
    static KTableWidgetBackedFileItem* rowOf(const KFileVersionDlg& dialog, const QString& fileId)
    {
        return rowWithKey<KTableWidgetBackedFileItem>(dialog.versionTable(), fileId);
    }
    static void restoreToSourcePlace(KTableWidgetBackedFileItem* row)
    {
        KRecoveryTest::restoreToSourcePlace(row->findBackLabel());
    }
    static void restoreToDesktop(KTableWidgetBackedFileItem* row)
    {
        KRecoveryTest::restoreToDesktop(row->findBackLabel());
    }

    KTestEnvironment& m_env;
    KRecoveryTest::UnansweredBoxes m_unanswered;
    QString m_work;
    QString m_path;
    int m_case = 0;
};

void TestVersionDialog::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2.0.1")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    QVERIFY(KFileTypeManager::instance()->addFileExts(0, QStringLiteral("pra4")));
    // As the scanner does before its first cycle.
    QVERIFY(!KFileServiceManager::instance()->loadDatabase()); // none yet
}

void TestVersionDialog::init()
{
    QVERIFY(KRecoveryTest::cleanAll());
    m_work = m_env.makeFolder(QStringLiteral("work%1").arg(++m_case));
    m_path = m_work + QStringLiteral("教学楼 投标|报价.pra4");
}

void TestVersionDialog::cleanup()
{
    // Cleared before anything is compared, so that a failing case leaves nothing to the next.
    const QStringList unanswered = m_unanswered.take();
    const int leftOver = KMessageBox::queuedAnswerCount() + KSaveFileDialog::queuedFileNameCount();
    KMessageBox::clearNextAnswers();
    KSaveFileDialog::clearNextFileNames();
    QCOMPARE(unanswered, QStringList());
    QCOMPARE(leftOver, 0);
    QCOMPARE(KFileVersionDlg::openVersionDialogCount(), 0);
}

QStringList TestVersionDialog::protectWithThreeVersions(const QString& path)
{
    QStringList ids;
    for (int i = 0; i < 3; ++i)
        ids << backUp(m_env, path, QByteArray("version ") + QByteArray::number(i), hoursAgo(9 - 3 * i));
    m_env.writeFile(path, "changed since", hoursAgo(1));
    return ids;
}

std::unique_ptr<KFileVersionDlg> TestVersionDialog::openDialog(const QString& path)
{
    auto dialog = std::make_unique<KFileVersionDlg>(path, KServices::process());
    dialog->show();
    QCoreApplication::processEvents(); // the list is built once the dialog is up
    return dialog;
}

void TestVersionDialog::listsVersionsNewestBackupFirst()
{
    // Backed up on three days. The middle one is an older copy put in place (its modification
    // time the oldest), and the identifiers sort in yet another order.
    const struct
    {
        const char* fileId;
        QByteArray content;
        QString size;
    } newestFirst[] = {
        { "{00000000-0000-0000-0000-000000000000}_20240520101500_20240520", "aaa", QStringLiteral("3B") },
        { "{ffffffff-0000-0000-0000-000000000000}_20240301080000_20240519", QByteArray(2048, 'b'),
            QStringLiteral("2KB") },
        { "{88888888-0000-0000-0000-000000000000}_20240518170000_20240518", QByteArray(3 << 19, 'c'),
            QStringLiteral("1.50MB") },
    };
    auto* record = new KFileObject(m_path, 0);
    for (const auto& version : newestFirst) {
        QVERIFY(!m_env.writeFile(KCommon::backupDirectory() + QLatin1String(version.fileId), version.content)
                     .isEmpty());
        record->addVersion(QLatin1String(version.fileId));
    }
    QVERIFY(KFileServiceManager::instance()->collection(0)->addFile(record));
    const auto dialog = openDialog(m_path);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("3"));
    QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("lblBusy"))->isHidden());

    KTableWidget* table = dialog->versionTable();
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(table->rowKey(row), QLatin1String(newestFirst[row].fileId));
        const QWidget* shown = table->rowWidget(row);
        QCOMPARE(shown->findChild<QLabel*>(QStringLiteral("lblSize"))->text(), newestFirst[row].size);
        QCOMPARE(shown->findChild<QLabel*>(QStringLiteral("lblNewest"))->isVisibleTo(shown), row == 0);
        QCOMPARE(static_cast<const KTableWidgetBackedFileItem*>(shown)->findBackLabel()->state(), 1);
    }
    QCOMPARE(table->rowWidget(0)->findChild<QLabel*>(QStringLiteral("lblBackedTime"))->text(),
        QStringLiteral("2024-05-20 10:15:00 备份成功"));
}

void TestVersionDialog::aFileWithoutVersionsSaysWhy_data()
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

void TestVersionDialog::aFileWithoutVersionsSaysWhy()
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
    QVERIFY(!dialog.isVisible());
    QCOMPARE(KMessageBox::answeredTexts().size(), 1);
    QVERIFY2(
        KMessageBox::answeredTexts().at(0).contains(reason), qPrintable(KMessageBox::answeredTexts().at(0)));
    // Shown all the same (its record gone meanwhile), the dialog closes as its list is built.
    QVERIFY(openDialog(path)->isHidden());
}

void TestVersionDialog::restoreToTheSourcePlaceOverAChangedFile()
{
    const QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(0));

    KMessageBox::setNextAnswer(1);
    restoreToSourcePlace(row);
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { Overwrite });
    QCOMPARE(contentOf(m_path), QByteArray("version 0"));
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(modifiedOf(m_path)).toString(QStringLiteral("yyyyMMddhhmmss")),
        ids.at(0).mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength));

    // The content that was there is now a version of its own, the newest, at the top; the list
    // built again still shows what was restored where.
    QCoreApplication::processEvents();
    KTableWidget* table = dialog->versionTable();
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("4"));
    const QString kept = table->rowKey(0);
    QVERIFY(!ids.contains(kept));
    QCOMPARE(contentOf(KCommon::backupDirectory() + kept), QByteArray("changed since"));
    QVERIFY(table->rowWidget(0)
                ->findChild<QLabel*>(QStringLiteral("lblNewest"))
                ->isVisibleTo(table->rowWidget(0)));
    row = rowOf(*dialog, ids.at(0));
    QCOMPARE(row->targetPath(), m_path);
    QCOMPARE(row->findBackLabel()->state(), 3);
    QVERIFY(row->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已成功恢复")));
    QVERIFY(row->findChild<KLabel*>(QStringLiteral("lblDelete"))->isHidden());
    // The result takes the place of the compare links.
    QVERIFY(row->findChild<QLabel*>(QStringLiteral("lblCompare"))->isHidden());
    QCOMPARE(rowOf(*dialog, ids.at(1))->findBackLabel()->state(), 1);
}

void TestVersionDialog::restoreWhereAFolderIsMissing_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<bool>("blocked"); // a file stands where the folder would be made
    QTest::newRow("the file's own folder, gone with it, is made again") << "source folder" << false;
    QTest::newRow("a desktop folder that was never made is made") << "desktop" << false;
    QTest::newRow("a desktop folder that cannot be made is named, another place offered")
        << "desktop" << true;
}

void TestVersionDialog::restoreWhereAFolderIsMissing()
{
    QFETCH(QString, missing);
    QFETCH(bool, blocked);
    const QStringList ids = protectWithThreeVersions(m_path);
    const QString desktop = KPlatform::instance()->desktopFolder();
    const QString folder = missing == QLatin1String("desktop") ? desktop : QDir::cleanPath(m_work);
    QVERIFY(QDir(folder).removeRecursively());
    if (blocked)
        m_env.writeFile(folder, "in the way");
    const auto dialog = openDialog(m_path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(1));
    const QString elsewhere
        = m_env.makeFolder(QStringLiteral("别处%1").arg(m_case)) + QStringLiteral("副本.pra4");
    if (blocked) {
        KMessageBox::setNextAnswer(1);
        KSaveFileDialog::setNextFileName(elsewhere);
    }

    if (missing == QLatin1String("desktop"))
        restoreToDesktop(row);
    else
        restoreToSourcePlace(row);
    const QString target = blocked ? elsewhere : folder + QStringLiteral("/教学楼 投标|报价.pra4");
    if (blocked) {
        QFile::remove(folder);
        QDir().mkpath(folder);
    }
    QCOMPARE(KMessageBox::answeredTexts(),
        blocked ? QStringList { KRestoreSteps::folderNotCreatedText(desktop) } : QStringList());
    QCOMPARE(row->findBackLabel()->state(), 3);
    QCOMPARE(row->targetPath(), target);
    QCOMPARE(contentOf(target), QByteArray("version 1"));
    QVERIFY(row->findBackLabel()->resultText().contains(blocked
            ? QStringLiteral("恭喜！已恢复至“别处%1”").arg(m_case)
            : missing == QLatin1String("desktop") ? ToDesktop
                                                  : QStringLiteral("恭喜！文件已成功恢复")));

    // Its open button shows the copy in the file manager.
    KWidgetTest::press(row->findChild<KLabel*>(QStringLiteral("btnOpenFolder")), QPoint(5, 5));
    KWidgetTest::release(row->findChild<KLabel*>(QStringLiteral("btnOpenFolder")), QPoint(5, 5));
    QCOMPARE(m_env.platform()->revealedPaths().constLast(), target);
}
void TestVersionDialog::aVanishedBackupCopyIsReportedAndItsRowRemoved()
{
    const QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    QVERIFY(QFile::remove(KCommon::backupDirectory() + ids.at(2)));

    KMessageBox::setNextAnswer(1);
    restoreToDesktop(rowOf(*dialog, ids.at(2)));
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { Missing });
    QCOMPARE(dialog->versionTable()->rowCount(), 2);
    QVERIFY(!rowOf(*dialog, ids.at(2)));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("2"));
    QCOMPARE(contentOf(m_path), QByteArray("changed since"));
}

void TestVersionDialog::desktopRestoreOverASameNamedFile_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("renamed");
    QTest::newRow("renamed after the existing file's time") << 1 << true;
    QTest::newRow("the existing file overwritten, kept as a version") << 0 << false;
    QTest::newRow("the question closed: nothing restored") << -1 << false;
}

void TestVersionDialog::desktopRestoreOverASameNamedFile()
{
    QFETCH(int, answer);
    QFETCH(bool, renamed);
    const QString path = m_work + QStringLiteral("plan.v2.pra4");
    const QStringList ids = protectWithThreeVersions(path);
    const QString desktop = KPlatform::instance()->desktopFolder();
    const QDateTime existingTime(QDate(2024, 3, 5), QTime(8, 9, 10));
    const QString onDesktop
        = m_env.writeFile(desktop + QStringLiteral("/plan.v2.pra4"), "on the desktop", existingTime);
    const auto dialog = openDialog(path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(1));

    const QStringList before = entriesOf(desktop);

    KMessageBox::setNextAnswer(answer);
    restoreToDesktop(row);
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { SameName });
    if (answer == -1) {
        QCOMPARE(row->findBackLabel()->state(), 1);
        QCOMPARE(contentOf(onDesktop), QByteArray("on the desktop"));
        QCOMPARE(entriesOf(desktop), before);
        QVERIFY(!KFileServiceManager::instance()->findFile(onDesktop));
        QFile::remove(onDesktop);
        return;
    }
    QCOMPARE(row->findBackLabel()->state(), 3);
    QVERIFY(row->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已恢复到桌面")));
    if (renamed) {
        const QString target = desktop + QStringLiteral("/plan.v22024-03-05-08-09-10.pra4");
        QCOMPARE(row->targetPath(), target);
        QCOMPARE(contentOf(target), QByteArray("version 1"));
        QCOMPARE(contentOf(onDesktop), QByteArray("on the desktop"));
        QCOMPARE(modifiedOf(onDesktop), existingTime.toMSecsSinceEpoch());
    } else {
        QCOMPARE(row->targetPath(), onDesktop);
        QCOMPARE(contentOf(onDesktop), QByteArray("version 1"));
        const auto kept = KFileServiceManager::instance()->findFile(onDesktop);
        QVERIFY(kept);
        QCOMPARE(contentOf(KCommon::backupDirectory() + kept->versionIds().value(0)),
            QByteArray("on the desktop"));
    }
    QFile::remove(onDesktop);
}

void TestVersionDialog::afterAFailedCopy_data()
{
    QTest::addColumn<int>("choice"); // in the failure box
    QTest::addColumn<QString>("fileName"); // chosen in the save-file dialog
    QTest::addColumn<bool>("restored");
    QTest::newRow("another place, the file's own name proposed in its own folder")
        << 1 << QStringLiteral("副本.pra4") << true;
    QTest::newRow("the same place again, after 200 ms") << 0 << QString() << true;
    QTest::newRow("the save-file dialog cancelled") << 1 << QString() << false;
    QTest::newRow("the failure box closed") << -1 << QString() << false;
}

void TestVersionDialog::afterAFailedCopy()
{
    QFETCH(int, choice);
    QFETCH(QString, fileName);
    QFETCH(bool, restored);
    const QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(0));
    QVERIFY(setMode(m_work, 0555));
    const QString elsewhere
        = fileName.isEmpty() ? QString() : m_env.makeFolder(QStringLiteral("别处%1").arg(m_case)) + fileName;
    // The folder becomes writable while the row waits to retry.
    QElapsedTimer clock;
    qint64 repairedAt = -1;
    if (choice == 0) {
        QTimer::singleShot(50, [&] {
            setMode(m_work, 0755);
            repairedAt = clock.elapsed();
        });
    }

    KMessageBox::setNextAnswer(1); // overwrite
    KMessageBox::setNextAnswer(choice);
    if (choice == 1)
        KSaveFileDialog::setNextFileName(elsewhere);
    clock.start();
    restoreToSourcePlace(row);
    const qint64 took = clock.elapsed();
    QVERIFY(setMode(m_work, 0755));
    QCOMPARE(KMessageBox::answeredTexts(), QStringList({ Overwrite, SourceFailed }));
    QCOMPARE(row->findBackLabel()->state(), restored ? 3 : 1);
    QCOMPARE(row->findChild<KLabel*>(QStringLiteral("lblDelete"))->isHidden(), restored);
    if (choice == 1) {
        QCOMPARE(KSaveFileDialog::answeredRequests(),
            QStringList { m_path + QStringLiteral("|所有文件 (*.pra4)") });
    }
    if (choice == 0)
        QVERIFY2(repairedAt >= 0 && took >= 200, qPrintable(QStringLiteral("%1 ms").arg(took)));
    if (!elsewhere.isEmpty()) {
        QCOMPARE(row->targetPath(), elsewhere);
        QCOMPARE(contentOf(elsewhere), QByteArray("version 0"));
        // The place actually written.
        QVERIFY(row->findBackLabel()->resultText().contains(QStringLiteral("别处%1").arg(m_case)));
    }
    QCOMPARE(contentOf(m_path), QByteArray(choice == 0 ? "version 0" : "changed since"));
    if (choice != 0)
        QCOMPARE(entriesOf(m_work), QStringList { QFileInfo(m_path).fileName() });
}

void TestVersionDialog::anotherPlaceIsAskedForInTheUsersLanguage()
{
    QVERIFY(KQtTranslations::install());
    const QString source = m_work + QStringLiteral("旧项目/结算.pra4");
    QString title;
    QString saveButton; // Qt's own text
    QString proposedName;
    QString folder;
    KWidgetTest::whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        title = dialog->windowTitle();
        saveButton = dialog->labelText(QFileDialog::Accept);
        proposedName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    QString target;
    // The file's folder is gone: the dialog opens in what is left of it.
    QVERIFY(!KRestoreSteps::chooseElsewhere(nullptr, source, &target));
    QCOMPARE(title, QStringLiteral("恢复至其他位置"));
    QCOMPARE(saveButton, QStringLiteral("保存(&S)"));
    QCOMPARE(proposedName, QStringLiteral("结算.pra4"));
    QCOMPARE(folder, QDir::cleanPath(m_work));
    QVERIFY(target.isEmpty());
}

void TestVersionDialog::refusedRestoresSayWhy_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("text");
    QTest::newRow("the file there cannot be backed up first") << "backups read-only" << NotSaved;
    QTest::newRow("the backup copy is damaged") << "damaged" << Damaged;
}

void TestVersionDialog::refusedRestoresSayWhy()
{
    QFETCH(QString, situation);
    QFETCH(QString, text);
    const QStringList ids = protectWithThreeVersions(m_path);
    const QString backups = KCommon::backupDirectory();
    if (situation == QLatin1String("damaged")) {
        // One copy cut short, which shows at once; one altered at its size, found by a restore.
        QVERIFY(QFile::resize(backups + ids.at(0), 2));
        QVERIFY(!m_env.writeFile(backups + ids.at(1), "VERSION 1").isEmpty());
    } else {
        QVERIFY(setMode(backups, 0555));
    }
    auto dialog = openDialog(m_path);
    const auto restoreControl = [&](const QString& id) {
        return rowOf(*dialog, id)->findChild<KFindBackLabel*>(QStringLiteral("lblBtn"));
    };
    QCOMPARE(restoreControl(ids.at(0))->isVisibleTo(dialog.get()), situation != QLatin1String("damaged"));
    QVERIFY(restoreControl(ids.at(1))->isVisibleTo(dialog.get()));

    KMessageBox::setNextAnswer(1); // overwrite
    KMessageBox::setNextAnswer(1); // the refusal
    restoreToSourcePlace(rowOf(*dialog, ids.at(1)));
    QVERIFY(setMode(backups, 0700));
    QCOMPARE(KMessageBox::answeredTexts(), QStringList({ Overwrite, text }));
    QCOMPARE(contentOf(m_path), QByteArray("changed since"));
    if (situation == QLatin1String("damaged")) {
        // The version is shown as damaged from then on, instead of being offered.
        QVERIFY(!restoreControl(ids.at(1))->isVisibleTo(dialog.get()));
        dialog = openDialog(m_path);
        QVERIFY(!restoreControl(ids.at(1))->isVisibleTo(dialog.get()));
        QVERIFY(restoreControl(ids.at(2))->isVisibleTo(dialog.get()));
    } else {
        QCOMPARE(restoreControl(ids.at(1))->state(), 1);
    }
}

void TestVersionDialog::deletingVersions()
{
    const QString cache = m_env.path(QStringLiteral("cache"));
    const int tracesBefore = readStoredTraces(traceDatabase(cache)).size();
    QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    QLabel* count = dialog->findChild<QLabel*>(QStringLiteral("lblCount"));
    const auto deleteRow = [&](const QString& id, QList<int> answers) {
        KMessageBox::clearNextAnswers();
        for (int answer : answers)
            KMessageBox::setNextAnswer(answer);
        auto* button = rowOf(*dialog, id)->findChild<KLabel*>(QStringLiteral("lblDelete"));
        KWidgetTest::press(button, QPoint(5, 5));
        KWidgetTest::release(button, QPoint(5, 5));
    };

    deleteRow(ids.at(2), { 0 });
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { QStringLiteral("是否删除该备份文件？") });
    QCOMPARE(count->text(), QStringLiteral("3"));

    // A copy that cannot be deleted keeps its version and its row.
    const QString backups = KCommon::backupDirectory();
    QVERIFY(setMode(backups, 0555));
    deleteRow(ids.at(2), { 1, 1 }); // the question, then the failure box
    QVERIFY(setMode(backups, 0755));
    QCOMPARE(KMessageBox::answeredTexts().constLast(), QStringLiteral("对不起，文件删除失败！"));
    QCOMPARE(count->text(), QStringLiteral("3"));

    for (const QString& id : qAsConst(ids))
        deleteRow(id, { 1 });
    QCOMPARE(count->text(), QStringLiteral("0"));
    QCOMPARE(dialog->versionTable()->rowCount(), 0);
    QVERIFY(entriesOf(backups).isEmpty());
    QVERIFY(!KFileServiceManager::instance()->findFile(m_path));

    QVERIFY(AtriumUserDataLogUtils::instance()->waitForUpload(10000));
    const QVector<KStoredTrace> traces = readStoredTraces(traceDatabase(cache)).mid(tracesBefore);
    QCOMPARE(traces.size(), 3);
    QCOMPARE(traces.at(0).page + traces.at(0).operation, QStringLiteral("备份列表删除一条备份"));
}

void TestVersionDialog::comparingAVersionAndOpeningItReadOnly()
{
    const QString path = m_work + QStringLiteral("说明.txt");
    const QStringList ids = protectWithThreeVersions(path);
    const auto dialog = openDialog(path);
    // The view a row's compare link opens, once it shows its result; null when it does not.
    const auto compare = [&](const QString& id) {
        click(rowOf(*dialog, id)->findChild<KClickLabel*>(QStringLiteral("lblCompare")));
        std::unique_ptr<KCompareDialog> view(dialog->findChild<KCompareDialog*>());
        if (view) {
            view->setParent(nullptr);
            view->setAttribute(Qt::WA_DeleteOnClose, false);
        }
        return view && QTest::qWaitFor([&view] { return !view->isBusy(); }) ? std::move(view) : nullptr;
    };
    const auto texts = [](const KCompareDialog& view) {
        QStringList shown;
        for (const char* name : { "lblBefore", "lblAfter", "lblVerdict" })
            shown << view.findChild<QLabel*>(QLatin1String(name))->text();
        const QAbstractItemModel* lines = view.findChild<QTableView*>(QStringLiteral("diffView"))->model();
        for (int row = 0; row < lines->rowCount(); ++row)
            shown << lines->index(row, 2).data().toString();
        return shown;
    };

    auto view = compare(ids.at(1));
    QVERIFY(view);
    QStringList shown = texts(*view);
    QVERIFY2(shown.at(0).startsWith(QStringLiteral("此版本："))
            && shown.at(1).startsWith(QStringLiteral("当前文件：")),
        qPrintable(shown.join(QLatin1Char('|'))));
    QCOMPARE(shown.mid(2),
        (QStringList { QStringLiteral("删除 1 行，新增 1 行。"), QStringLiteral("version 1"),
            QStringLiteral("changed since") }));

    // With the file gone, a version is compared with the one before it; the oldest with nothing.
    QVERIFY(QFile::remove(path));
    view = compare(ids.at(1));
    QVERIFY(view);
    shown = texts(*view);
    QVERIFY(shown.at(0).startsWith(QStringLiteral("上一版本："))
        && shown.at(1).startsWith(QStringLiteral("此版本：")));
    QCOMPARE(shown.mid(3), (QStringList { QStringLiteral("version 0"), QStringLiteral("version 1") }));
    QCOMPARE(texts(*compare(ids.at(0))).at(2),
        QStringLiteral("无法比较：文件已不存在，也没有更早的版本可以比较。"));

    // A private copy of the version, read-only, goes to the desktop's program.
    click(rowOf(*dialog, ids.at(2))->findChild<KClickLabel*>(QStringLiteral("lblOpenCopy")));
    QTRY_COMPARE(m_env.platform()->openedPaths().size(), 1);
    const QString copy = m_env.platform()->openedPaths().constFirst();
    QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral("说明.txt"));
    QCOMPARE(contentOf(copy), QByteArray("version 2"));
    QCOMPARE(QFileInfo(copy).permissions() & 0x7777, QFile::ReadOwner | QFile::ReadUser);
}

VK_RECOVERY_TEST_MAIN(TestVersionDialog)
#include "tst_versiondialog.moc"
