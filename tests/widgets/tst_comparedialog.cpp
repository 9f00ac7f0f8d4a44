#include "Widgets/compare/kcomparedialog.h"
#include "Widgets/compare/kcompareviews.h"
#include "compare/kcomparetasks.h"
#include "kdemodocuments.h"
#include "ktestenvironment.h"
#include "platform/kplatform.h"

#include <QLabel>
#include <QStackedWidget>
#include <QTableView>
#include <QtTest>

// The comparison view on its own, driven by object name: which page shows what for each kind of
// file, the busy page first, whatever the comparison finds.
class TestCompareDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsWhatChangedByKind_data();
    void showsWhatChangedByKind();
    void aViewClosedWhileComparingLeavesNoTaskBehind();

private:
    KTestEnvironment m_env;
};

namespace {

// What the current page shows: the first row of a table, the size of the difference picture,
// or the summary.
QString shownOn(const KCompareDialog& view)
{
    const QWidget* page = view.findChild<QStackedWidget*>(QStringLiteral("pages"))->currentWidget();
    if (const auto* table = page->findChild<QTableView*>()) {
        QStringList row;
        for (int column = 0; column < table->model()->columnCount(); ++column)
            row << table->model()->index(0, column).data().toString();
        return row.join(QLatin1Char('|'));
    }
    if (const auto* picture = page->findChild<KPictureView*>(QStringLiteral("differencePicture"))) {
        return QStringLiteral("%1×%2").arg(picture->image().width()).arg(picture->image().height());
    }
    return page->findChild<QLabel*>(QStringLiteral("lblSummary"))->text();
}

} // namespace

void TestCompareDialog::showsWhatChangedByKind_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("shown");

    const auto demo = [](const char* name, int version) {
        return KDemoDocuments::content(QString::fromUtf8(name), version);
    };
    QTest::newRow("a spreadsheet lists its cells that differ")
        << QStringLiteral("量.xlsx") << demo("量.xlsx", 0) << demo("量.xlsx", 1)
        << QStringLiteral("pageCells") << QStringLiteral("共 3 个单元格不同。")
        << QStringLiteral("工程量对比|E2|1268|1270");
    QTest::newRow("a picture stands beside the other and their difference")
        << QStringLiteral("图.png") << demo("图.png", 0) << demo("图.png", 2)
        << QStringLiteral("pagePictures") << QStringLiteral("共 ") << QStringLiteral("480×300");
    QTest::newRow("a document that is no zip says why it cannot be compared")
        << QStringLiteral("量.xlsx") << QByteArray(4000, 'P') << QByteArray(4000, 'Q')
        << QStringLiteral("pageSummary") << QStringLiteral("无法比较：文档已损坏，无法解压。")
        << QStringLiteral("逐字节比较：从第 1 个字节起不同");
    const QByteArray large((KComparer::MaxTextBytes) + 1, 'a');
    QTest::newRow("a text past the cap shows the summary only")
        << QStringLiteral("日志.txt") << large << large + 'b' << QStringLiteral("pageSummary")
        << QStringLiteral("内容过多（超过 20 MB 或 50 万行），只显示摘要。")
        << QStringLiteral("从第 20,971,522 个字节起不同");
    QTest::newRow("any other file is compared byte by byte")
        << QStringLiteral("图.dwg") << QByteArray("AC1027\1\2") << QByteArray("AC1027\1\3")
        << QStringLiteral("pageSummary") << QStringLiteral("此类文件无法逐项比较，以下是两者的摘要。")
        << QStringLiteral("从第 8 个字节起不同");
}

void TestCompareDialog::showsWhatChangedByKind()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, page);
    QFETCH(QString, verdict);
    QFETCH(QString, shown);

    const QString folder = QString::fromUtf8(QTest::currentDataTag()) + QLatin1Char('/');
    KCompareDialog view(KPlatform::instance(), name,
        { m_env.writeFile(folder + QStringLiteral("old"), before), QStringLiteral("此版本"), {} },
        { m_env.writeFile(folder + QStringLiteral("new"), after), QStringLiteral("当前文件"), {} },
        QString());
    QSignalSpy compared(&view, &KCompareDialog::compared);
    // The comparison runs elsewhere: the view is busy until its result arrives.
    QVERIFY(view.isBusy());
    const auto* pages = view.findChild<QStackedWidget*>(QStringLiteral("pages"));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("pageBusy"));
    view.show();

    QVERIFY(compared.wait(20000));
    QVERIFY(!view.isBusy());
    QCOMPARE(pages->currentWidget()->objectName(), page);
    const QString said = view.findChild<QLabel*>(QStringLiteral("lblVerdict"))->text();
    QVERIFY2(said.startsWith(verdict), qPrintable(said));
    QVERIFY2(shownOn(view).contains(shown), qPrintable(shownOn(view)));
}

void TestCompareDialog::aViewClosedWhileComparingLeavesNoTaskBehind()
{
    QByteArray lines;
    for (int i = 0; i < 200000; ++i)
        lines.append(QByteArray::number(i)).append('\n');
    const QString before = m_env.writeFile(QStringLiteral("closed/old"), lines);
    const QString after = m_env.writeFile(QStringLiteral("closed/new"), QByteArray(lines).replace('1', '2'));
    auto view = std::make_unique<KCompareDialog>(KPlatform::instance(), QStringLiteral("a.txt"),
        KCompareDialog::Side { before, {}, {} }, KCompareDialog::Side { after, {}, {} }, QString());
    // The task holds nothing of the view: under the sanitizers, any use of it after it went shows.
    view.reset();
    KCompareTasks::shutDown();
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestCompareDialog)
#include "tst_comparedialog.moc"
