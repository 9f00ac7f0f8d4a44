#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/controls/kmenubutton.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/ksavefiledialog.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "Widgets/versions/ktablewidgetbackedfileitem.h"
#include "krecoverytest.h"
#include "ktracestore.h"
#include "kwidgettest.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace KRecoveryTest;

namespace {

const QString Overwrite = QStringLiteral("这会覆盖您原有的工程文件，确定要恢复到原位置吗？");
const QString SameName = QStringLiteral("目标位置已有同名文件，你是否需要自动改名并恢复？");
const QString Missing = QStringLiteral("备份文件丢失，请从其他版本找回！");
const QString SourceFailed
    = QStringLiteral("无法恢复到原位置，可能原位置的文件正在编辑中，建议您恢复到其他位置。");
const QString NotSaved
    = QStringLiteral("目标位置已有的文件无法先行备份，为免丢失，本次没有恢复。请检查备份盘的空间后再试。");
const QString Damaged = QStringLiteral("备份文件已损坏，无法用它恢复，请从其他版本找回！");

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
    void listsEveryVersionInIdentifierOrder();
    void aFileNoLongerProtectedClosesTheDialog();
    void restoreToTheSourcePlaceOverAChangedFile();
    void restoreToTheSourcePlaceOfAMissingFileAsksNothingAndRevealsIt();
    void aVanishedBackupCopyIsReportedAndItsRowRemoved();
    void desktopRestoreOverASameNamedFile_data();
    void desktopRestoreOverASameNamedFile();
    void failedCopyThenAnotherPlace();
    void failedCopyRetriesTheSamePlaceAfter200Ms();
    void failedCopyGivenUp_data();
    void failedCopyGivenUp();
    void refusedRestoresSayWhy_data();
    void refusedRestoresSayWhy();
    void deletingVersions();

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
    // As the scanner does before its first cycle.
    KFileServiceManager::instance()->loadDatabase();
}

void TestVersionDialog::init()
{
    KFileServiceManager::instance()->cleanAll();
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
    auto dialog = std::make_unique<KFileVersionDlg>(path);
    dialog->show();
    QCoreApplication::processEvents(); // the list is built once the dialog is up
    return dialog;
}

void TestVersionDialog::listsEveryVersionInIdentifierOrder()
{
    QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    QCOMPARE(KFileVersionDlg::openVersionDialogCount(), 1);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("3"));
    QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("lblBusy"))->isHidden());

    KTableWidget* table = dialog->versionTable();
    QCOMPARE(table->rowCount(), 3);
    ids.sort();
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(table->rowKey(row), ids.at(row));
        const QString stamp
            = ids.at(row).mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength);
        const QString time = QDateTime::fromString(stamp, QStringLiteral("yyyyMMddhhmmss"))
                                 .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(table->rowWidget(row)->findChild<QLabel*>(QStringLiteral("lblBackedTime"))->text(),
            time + QStringLiteral(" 备份成功"));
        QCOMPARE(
            static_cast<KTableWidgetBackedFileItem*>(table->rowWidget(row))->findBackLabel()->state(), 1);
    }
}

void TestVersionDialog::aFileNoLongerProtectedClosesTheDialog()
{
    const auto dialog = openDialog(m_work + QStringLiteral("never-protected.pra4"));
    QVERIFY(dialog->isHidden());
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("0"));
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
    QCOMPARE(row->targetPath(), m_path);
    QCOMPARE(row->findBackLabel()->state(), 3);
    QVERIFY(row->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已成功恢复")));
    QVERIFY(row->findChild<KLabel*>(QStringLiteral("lblDelete"))->isHidden());

    // The content that was there is now a version of its own, at the end of the list.
    KTableWidget* table = dialog->versionTable();
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblCount"))->text(), QStringLiteral("4"));
    const QString kept = table->rowKey(3);
    QVERIFY(!ids.contains(kept));
    QCOMPARE(contentOf(KCommon::backupDirectory() + kept), QByteArray("changed since"));
}

void TestVersionDialog::restoreToTheSourcePlaceOfAMissingFileAsksNothingAndRevealsIt()
{
    const QStringList ids = protectWithThreeVersions(m_path);
    QVERIFY(QFile::remove(m_path));
    const auto dialog = openDialog(m_path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(1));

    restoreToSourcePlace(row);
    QVERIFY(KMessageBox::answeredTexts().isEmpty());
    QCOMPARE(contentOf(m_path), QByteArray("version 1"));
    QCOMPARE(dialog->versionTable()->rowCount(), 3);
    QCOMPARE(row->findBackLabel()->state(), 3);

    auto* open = row->findChild<KLabel*>(QStringLiteral("btnOpenFolder"));
    QVERIFY(open && open->isVisibleTo(row));
    KWidgetTest::press(open, QPoint(5, 5));
    KWidgetTest::release(open, QPoint(5, 5));
    QCOMPARE(m_env.platform()->revealedPaths().value(m_env.platform()->revealedPaths().size() - 1), m_path);
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
    QVERIFY(row->findBackLabel()->resultText().contains(QStringLiteral("恭喜！文件已找回至桌面")));
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

void TestVersionDialog::failedCopyThenAnotherPlace()
{
    const QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(0));
    const QString elsewhere
        = m_env.makeFolder(QStringLiteral("elsewhere%1").arg(m_case)) + QStringLiteral("副本.pra4");
    QVERIFY(setMode(m_work, 0555));

    KMessageBox::setNextAnswer(1); // overwrite
    KMessageBox::setNextAnswer(1); // restore elsewhere
    KSaveFileDialog::setNextFileName(elsewhere);
    restoreToSourcePlace(row);
    QVERIFY(setMode(m_work, 0755));
    QCOMPARE(KMessageBox::answeredTexts(), QStringList({ Overwrite, SourceFailed }));
    QCOMPARE(KSaveFileDialog::answeredRequests(),
        QStringList { QDir::cleanPath(m_work) + QStringLiteral("|All Files (*.pra4)") });
    QCOMPARE(row->findBackLabel()->state(), 3);
    QCOMPARE(row->targetPath(), elsewhere);
    QCOMPARE(contentOf(elsewhere), QByteArray("version 0"));
    QCOMPARE(contentOf(m_path), QByteArray("changed since"));
    QCOMPARE(entriesOf(m_work), QStringList { QFileInfo(m_path).fileName() });
}

void TestVersionDialog::failedCopyRetriesTheSamePlaceAfter200Ms()
{
    const QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(0));
    QVERIFY(setMode(m_work, 0555));
    // The folder becomes writable while the row waits to retry.
    QElapsedTimer clock;
    qint64 repairedAt = -1;
    QTimer::singleShot(50, [&] {
        setMode(m_work, 0755);
        repairedAt = clock.elapsed();
    });

    KMessageBox::setNextAnswer(1); // overwrite
    KMessageBox::setNextAnswer(0); // restore to the source place again
    KMessageBox::setNextAnswer(-1); // should the retry fail, the box is closed
    clock.start();
    restoreToSourcePlace(row);
    const qint64 took = clock.elapsed();
    setMode(m_work, 0755);
    QCOMPARE(KMessageBox::answeredTexts(), QStringList({ Overwrite, SourceFailed }));
    KMessageBox::clearNextAnswers();
    QVERIFY2(repairedAt >= 0 && took >= 200, qPrintable(QStringLiteral("%1 ms").arg(took)));
    QCOMPARE(row->findBackLabel()->state(), 3);
    QCOMPARE(contentOf(m_path), QByteArray("version 0"));
}

void TestVersionDialog::failedCopyGivenUp_data()
{
    QTest::addColumn<int>("choice");
    QTest::newRow("the file dialog cancelled") << 1;
    QTest::newRow("the failure box closed") << -1;
}

void TestVersionDialog::failedCopyGivenUp()
{
    QFETCH(int, choice);
    const QStringList ids = protectWithThreeVersions(m_path);
    const auto dialog = openDialog(m_path);
    KTableWidgetBackedFileItem* row = rowOf(*dialog, ids.at(0));
    QVERIFY(setMode(m_work, 0555));

    KMessageBox::setNextAnswer(1);
    KMessageBox::setNextAnswer(choice);
    if (choice == 1)
        KSaveFileDialog::setNextFileName(QString());
    restoreToSourcePlace(row);
    QVERIFY(setMode(m_work, 0755));
    QCOMPARE(KMessageBox::answeredTexts().size(), 2);
    QCOMPARE(row->findBackLabel()->state(), 1);
    QVERIFY(!row->findChild<KLabel*>(QStringLiteral("lblDelete"))->isHidden());
    QCOMPARE(contentOf(m_path), QByteArray("changed since"));
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

    deleteRow(ids.at(0), { 0 });
    QCOMPARE(KMessageBox::answeredTexts(), QStringList { QStringLiteral("是否删除该备份文件？") });
    QCOMPARE(count->text(), QStringLiteral("3"));

    // A copy that cannot be deleted keeps its version and its row.
    const QString backups = KCommon::backupDirectory();
    QVERIFY(setMode(backups, 0555));
    deleteRow(ids.at(0), { 1, 1 }); // the question, then the failure box
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
    QCOMPARE(traces.at(0).operation, QStringLiteral("删除一条备份"));
    QCOMPARE(traces.at(0).page, QStringLiteral("备份列表"));
    QCOMPARE(traces.at(0).product, QStringLiteral("Vaultkeep"));
}

VK_RECOVERY_TEST_MAIN(TestVersionDialog)
#include "tst_versiondialog.moc"
