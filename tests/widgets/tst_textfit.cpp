#include "Widgets/compare/kcomparedialog.h"
#include "Widgets/controls/kcommonbutton.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/controls/klabel.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/main/kmainwidget.h"
#include "Widgets/settings/kcleandlg.h"
#include "Widgets/settings/kmovebackfolderwidget.h"
#include "Widgets/settings/koffsitedlg.h"
#include "Widgets/settings/ksettingdlg.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "Widgets/tips/ktipuserdialog.h"
#include "Widgets/tips/ktipwidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "compare/kcompareproblem.h"
#include "core/kconfig.h"
#include "core/kuilanguage.h"
#include "krecoverytest.h"
#include "platform/kplatform.h"
#include "plugin/kvaultkeep.h"
#include "service/kfileservicemanager.h"
#include "storage/kbackupfoldermove.h"
#include "storage/kdiskinfothread.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QtTest>

using Language = KUiLanguage::Language;

namespace {

QString describe(const QWidget* widget)
{
    QString name = widget->objectName();
    for (const QObject* up = widget->parent(); name.isEmpty() && up; up = up->parent())
        name = up->objectName().isEmpty() ? QString() : up->objectName() + QStringLiteral(" > (unnamed)");
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(widget->metaObject()->className()), name);
}

QString plainText(const QLabel* label)
{
    if (label->textFormat() == Qt::PlainText
        || (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text())))
        return label->text();
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

// What a button's text needs and the room its style gives it.
QPair<int, int> buttonNeedsAndHas(const QAbstractButton* button)
{
    const QFontMetrics metrics(button->font());
    QString text = button->text();
    text.remove(QLatin1Char('&'));
    int needs = metrics.horizontalAdvance(text);
    if (qobject_cast<const KCustomButton*>(button)) // draws its text over the whole button
        return { needs, button->contentsRect().width() };
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (!option.icon.isNull())
        needs += option.iconSize.width() + 4;
    QStyle::SubElement room = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(button))
        room = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<const QRadioButton*>(button))
        room = QStyle::SE_RadioButtonContents;
    return { needs, button->style()->subElementRect(room, &option, button).width() };
}

// Every shown label and button of `window` whose text its geometry clips, as "<class> <name>:
// "<text>" needs N px, has M px", or whose text runs into a button, a picture or another text
// beside it; picture buttons (no text) and pictures are left out.
QStringList clippedTexts(QWidget* window)
{
    QStringList clipped;
    QHash<QWidget*, QRect> inked; // where each text is drawn, in its parent
    QList<QWidget*> solid; // what a text must not run into
    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(window))
            continue;
        // Buttons, and pictures: plain ones, and those the controls paint themselves.
        auto* picture = qobject_cast<QLabel*>(widget);
        if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<KLabel*>(widget)
            || qobject_cast<KCommonButton*>(widget)
            || (picture && !picture->pixmap(Qt::ReturnByValue).isNull()))
            solid << widget;
        int needs = 0, has = 0;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = plainText(label);
            if (text.isEmpty())
                continue;
            const int margin = label->margin();
            const QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
            const QFontMetrics metrics(label->font());
            if (label->wordWrap()) {
                // Wrapped, the text may take as many lines as the label holds (one at least: a
                // line's descent may touch the edge); a word wider than the label still overflows.
                const QRect taken = metrics.boundingRect(
                    QRect(0, 0, room.width(), 100000), int(label->alignment()) | Qt::TextWordWrap, text);
                const int lines = qRound(qreal(taken.height()) / metrics.lineSpacing());
                const int roomLines = std::max(1, room.height() / metrics.lineSpacing());
                if (lines > roomLines) {
                    clipped << QStringLiteral("%1: \"%2\" needs %3 lines, has %4 (%5 x %6 px)")
                                   .arg(describe(label), text)
                                   .arg(lines)
                                   .arg(roomLines)
                                   .arg(room.width())
                                   .arg(room.height());
                    continue;
                }
                needs = taken.width();
            } else {
                needs = metrics.size(0, text).width();
            }
            has = room.width();
            inked.insert(label,
                QStyle::alignedRect(
                    Qt::LeftToRight, label->alignment(), QSize(std::min(needs, has), room.height()), room)
                    .translated(label->pos()));
            solid << label;
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
            if (text.isEmpty())
                continue;
            const QPair<int, int> widths = buttonNeedsAndHas(button);
            needs = widths.first;
            has = widths.second;
            inked.insert(button, button->geometry());
        } else {
            continue;
        }
        if (needs > has)
            clipped << QStringLiteral("%1: \"%2\" needs %3 px, has %4 px")
                           .arg(describe(widget), text)
                           .arg(needs)
                           .arg(has);
    }
    for (auto text = inked.cbegin(); text != inked.cend(); ++text) {
        for (QWidget* other : qAsConst(solid)) {
            const QRect otherRect = inked.value(other, other->geometry());
            if (other != text.key() && other->parentWidget() == text.key()->parentWidget()
                && !(inked.contains(other) && other < text.key()) && text.value().intersects(otherRect)
                && !otherRect.contains(text.value())) // a caption laid on a picture
                clipped << QStringLiteral("%1 runs into %2").arg(describe(text.key()), describe(other));
        }
    }
    return clipped;
}

bool isChinese(QChar c)
{
    return (c.unicode() >= 0x3000 && c.unicode() <= 0x9fff)
        || (c.unicode() >= 0xff00 && c.unicode() <= 0xffef);
}

// In English, every text of `window` a user reads that still holds a Chinese character: the
// machine's file names are ASCII, so each is a text not translated.
QStringList untranslatedTexts(QWidget* window)
{
    QStringList found;
    if (KUiLanguage::current() != Language::English)
        return found;
    const auto check = [&found](const QWidget* widget, const QString& text) {
        if (std::any_of(text.begin(), text.end(), isChinese))
            found << QStringLiteral("%1: \"%2\" is not translated").arg(describe(widget), text);
    };
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (const QWidget* widget : qAsConst(widgets)) {
        if (widget != window && !widget->isVisibleTo(window))
            continue;
        check(widget, widget->toolTip());
        if (widget->isWindow())
            check(widget, widget->windowTitle());
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            check(widget, label->text());
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            check(widget, button->text());
        else if (const auto* box = qobject_cast<const QComboBox*>(widget))
            check(widget, box->currentText());
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            check(widget, edit->placeholderText());
    }
    return found;
}

// What a user would find wrong with `window`: texts clipped, or, in English, left in Chinese.
QStringList faultsIn(QWidget* window)
{
    return clippedTexts(window) + untranslatedTexts(window);
}

QStringList clippedWhenShown(QWidget* window)
{
    window->show();
    QCoreApplication::processEvents();
    return faultsIn(window);
}

// The windows the product shows, each built through its own code in the state that shows the most
// text; each scene returns what it found clipped.
using Scene = std::function<QStringList(KTestEnvironment&)>;

QStringList mainWindowPages(KTestEnvironment&)
{
    QWidget* window = createFrame();
    window->resize(window->minimumSize()); // the smallest it can be
    window->show();
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QStringList clipped;
    for (int page = 0; tabs && page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        QCoreApplication::processEvents();
        // The longest line beside the space bar: a roomy drive that fills in four-digit days.
        emit KDiskInfoThread::instance()->sigDaysUntilFull(1234);
        emit KDiskInfoThread::instance()->sigSetHomeDiskFree(
            QStringLiteral("/media/ann/Data/"), 120000, 480000);
        clipped << faultsIn(window);
    }
    KVaultkeepModule::shutDown();
    return tabs ? clipped : QStringList { QStringLiteral("no tabWidget") };
}

QStringList homePageWithProtectionOff(KTestEnvironment& env)
{
    if (!KConfig::instance()->setAutoBack(false))
        return { QStringLiteral("cannot write the settings") };
    const QStringList clipped = mainWindowPages(env);
    if (!KConfig::instance()->setAutoBack(true))
        return { QStringLiteral("cannot write the settings") };
    return clipped;
}

QStringList settingsDialog(KTestEnvironment&)
{
    KSettingDlg dialog(KServices::process());
    return clippedWhenShown(&dialog);
}

QStringList cleanUpDialogAndItsQuestion(KTestEnvironment&)
{
    KCleanDlg dialog(KServices::process());
    QStringList clipped = clippedWhenShown(&dialog);
    KWidgetTest::whenModalShown([&](QWidget* question) {
        clipped << faultsIn(question);
        qobject_cast<QDialog*>(question)->reject();
    });
    dialog.onCleanBefore();
    return clipped;
}

QStringList offsiteDialog(KTestEnvironment&)
{
    KOffsiteDlg dialog(KServices::process().offsite);
    return clippedWhenShown(&dialog);
}

QStringList versionDialog(KTestEnvironment& env)
{
    KFileVersionDlg dialog(env.path(QStringLiteral("home/plan.pra4")), KServices::process());
    QSignalSpy built(&dialog, &KFileVersionDlg::sigListBuilt);
    QStringList clipped = clippedWhenShown(&dialog);
    // The list is built once the dialog is on screen.
    if (built.isEmpty() && !built.wait())
        return clipped << QStringLiteral("the version list was never built");
    return clipped << faultsIn(&dialog);
}

QStringList tips(KTestEnvironment&)
{
    KTipMsgManager manager(KServices::process());
    manager.showCurrentDiskNotEnough(10 * 1024 * 1024, QStringLiteral("/media/ann/Data/"));
    manager.showBackedFolderTooLarge(3650722202LL);
    manager.showFileTooLarge(QStringLiteral("/home/ann/plan.pra4"), 5LL << 30, 1LL << 30);
    manager.showTipUserDialog();
    QCoreApplication::processEvents();
    QStringList clipped;
    const QList<KTipWidget*> shown = manager.tips();
    for (KTipWidget* tip : shown)
        clipped << faultsIn(tip);
    const QList<KTipUserDialog*> dialogs = KWidgetTest::windowsOf<KTipUserDialog>();
    for (KTipUserDialog* dialog : dialogs)
        clipped << faultsIn(dialog);
    for (KTipWidget* tip : shown)
        tip->close();
    return clipped;
}

QStringList movePanel(KTestEnvironment& env)
{
    QWidget window;
    window.resize(800, 500);
    const QString to = env.makeFolder(QStringLiteral("drives/E"));
    env.platform()->addDrive(to, KDriveKind::Fixed, KFileSystemKind::Ntfs, 300000 * MiB, 600000 * MiB);
    new KMoveBackFolderWidget(KPlatform::instance(), KConfig::instance()->backUpPath(), to, &window);
    return clippedWhenShown(&window);
}

QStringList messageBoxes(KTestEnvironment&)
{
    QStringList texts;
    const QString file = QStringLiteral("/home/ann/plan.pra4");
    for (int reason = KUnprotectedReason::Protected; reason <= KUnprotectedReason::WaitingForBackup;
         ++reason) {
        KUnprotectedReason why;
        why.reason = KUnprotectedReason::Reason(reason);
        why.folder = QStringLiteral("/home/ann/tmp");
        texts << KFileVersionDlg::notProtectedText(file, why);
    }
    texts << KCompareDialog::problemText(KCompareProblem::ZipBomb, QStringLiteral("word/document.xml"));
    QStringList clipped;
    for (int problem = 0; problem <= int(KBackupFolderMove::Problem::Other); ++problem)
        texts << KMoveBackFolderWidget::failureText(problem, QStringLiteral("plan.pra4"), file);
    for (const QString& text : qAsConst(texts)) {
        const auto box = KYMessageBox::information(nullptr, QMessageBox::Information, text);
        clipped << clippedWhenShown(box.get());
    }
    return clipped;
}

} // namespace

Q_DECLARE_METATYPE(Scene)
Q_DECLARE_METATYPE(Language)

// Every page, dialog, tip and message box in each language: no label or button clips its text, and
// in English none is left in Chinese.
class TestTextFit : public QObject
{
    Q_OBJECT

public:
    explicit TestTextFit(KTestEnvironment* environment)
        : m_env(*environment)
    { }

private slots:
    void initTestCase();
    void cleanup();
    void everyTextFitsInItsLanguage_data();
    void everyTextFitsInItsLanguage();

private:
    KTestEnvironment& m_env;
};

void TestTextFit::initTestCase()
{
    // The face and size Qt gives a desktop without a theme of its own, as the screenshots show it.
    QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
    m_env.addBackupDrive(QStringLiteral("D"));
    QVERIFY(KConfig::instance()->setShowTipBackedMsgStatus(1));
    QVERIFY(!KFileServiceManager::instance()->loadDatabase()); // none yet
    // Rows on every page: a file with versions, and one deleted since its backup.
    const QDateTime yesterday = QDateTime::currentDateTime().addDays(-1);
    const QString plan = m_env.path(QStringLiteral("home/plan.pra4"));
    const QString gone = m_env.path(QStringLiteral("home/gone.pra4"));
    QVERIFY(!KRecoveryTest::backUp(m_env, plan, "one", yesterday.addSecs(-60)).isEmpty());
    QVERIFY(!KRecoveryTest::backUp(m_env, plan, "two", yesterday).isEmpty());
    QVERIFY(!KRecoveryTest::backUp(m_env, gone, "gone", yesterday).isEmpty());
    QVERIFY(QFile::remove(gone));
    KFileServiceManager::instance()->onUpdate();
}

void TestTextFit::cleanup()
{
    QVERIFY(KUiLanguage::apply(Language::Chinese));
}

void TestTextFit::everyTextFitsInItsLanguage_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<Scene>("scene");
    const QVector<QPair<const char*, Scene>> scenes {
        { "the main window's pages", mainWindowPages },
        { "the pages with protection off", homePageWithProtectionOff },
        { "the settings dialog", settingsDialog },
        { "the clean-up dialog and its question", cleanUpDialogAndItsQuestion },
        { "the off-site dialog", offsiteDialog },
        { "the version dialog", versionDialog },
        { "the tips", tips },
        { "the move panel", movePanel },
        { "the message boxes", messageBoxes },
    };
    const QVector<QPair<const char*, Language>> languages { { "in Chinese", Language::Chinese },
        { "in English", Language::English } };
    for (const auto& language : languages) {
        for (const auto& scene : scenes)
            QTest::addRow("%s %s", scene.first, language.first) << language.second << scene.second;
    }
}

void TestTextFit::everyTextFitsInItsLanguage()
{
    QFETCH(Language, language);
    QFETCH(Scene, scene);
    // Kept for the main window, which applies the user's choice as it is made; applied for the rest.
    const QString settings = KUiLanguage::settingsFile(KPlatform::instance()->configHomeFolder());
    QVERIFY(KUiLanguage::storeChoice(settings,
        language == Language::English ? KUiLanguage::Choice::English : KUiLanguage::Choice::Chinese));
    QVERIFY2(KUiLanguage::apply(language), "no translations");
    const QStringList clipped = scene(m_env);
    QCOMPARE(KUiLanguage::current(), language);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
}

VK_WIDGET_TEST_MAIN(TestTextFit)
#include "tst_textfit.moc"
