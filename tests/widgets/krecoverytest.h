#pragma once

// Shared by the tests of the recovery views: protected files with real versions made by the
// process's engine.

#include "Widgets/controls/kbutton.h"
#include "Widgets/controls/kmenubutton.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/dialogs/ksavefiledialog.h"
#include "Widgets/table/ktablewidget.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "platform/kfileops.h"
#include "service/kfileservicemanager.h"
#include "service/kservices.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>
#include <utility>

namespace KRecoveryTest {

inline QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline qint64 modifiedOf(const QString& path)
{
    return KFileOps::status(path).modifiedMSecs;
}

// Takes every record and copy away between cases. A copy an earlier case took away by hand makes
// the clean-up report a failure; what counts is that no copy is left.
inline bool cleanAll()
{
    return KFileServiceManager::instance()->cleanAll()
        || KTestEnvironment::entriesOf(KCommon::backupDirectory()).isEmpty();
}

// Writes `content` at `path`, modified at `modified`, and backs it up through the engine as a
// new version of the file's record of kind `kind`. Returns the new version's FileID, empty on
// failure.
inline QString backUp(const KTestEnvironment& env, const QString& path, const QByteArray& content,
    const QDateTime& modified, int kind = 0)
{
    KFileServiceManager* engine = KFileServiceManager::instance();
    if (env.writeFile(path, content, modified).isEmpty())
        return QString();
    const auto before = engine->findFile(path);
    const QStringList known = before ? before->versionIds() : QStringList();
    const auto record = engine->collection(kind)->backupFile(path, kind);
    const QStringList ids = record ? record->versionIds() : QStringList();
    for (const QString& id : ids) {
        if (!known.contains(id))
            return id;
    }
    return QString();
}

// A recovery page on the process's engine, at its size in the main window.
template<class Page> std::unique_ptr<Page> makePage()
{
    auto page = std::make_unique<Page>();
    page->setServices(KServices::process());
    page->resize(798, 429);
    return page;
}

// A left click at the widget's top left corner.
inline void click(QWidget* widget)
{
    KWidgetTest::press(widget, QPoint(3, 3));
    KWidgetTest::release(widget, QPoint(3, 3));
}

inline QStringList keysOf(const KTableWidget* table)
{
    QStringList keys;
    for (int row = 0; row < table->rowCount(); ++row)
        keys << table->rowKey(row);
    return keys;
}

// The widget of the first row with `key`, as a `Row`; null when there is none.
template<class Row> Row* rowWithKey(const KTableWidget* table, const QString& key)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->rowKey(row) == key)
            return qobject_cast<Row*>(table->rowWidget(row));
    }
    return nullptr;
}

// The restore button's face, and the one entry of its menu.
inline void restoreToDesktop(KFindBackLabel* control)
{
    control->menuButton()->leftButton()->click();
}

inline void restoreToSourcePlace(KFindBackLabel* control)
{
    control->menuButton()->menu()->actions().at(0)->trigger();
}

// Closes every message box and file dialog that no queued answer met, so that a test whose
// procedure asks more than it expects fails instead of waiting for a user; remembers their texts.
// A window a test answers itself (KWidgetTest::whenModalShown) is left a second for that.
class UnansweredBoxes : public QObject
{
public:
    UnansweredBoxes()
    {
        m_poll.setInterval(100);
        QObject::connect(&m_poll, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* dialog = qobject_cast<QDialog*>(modal);
            auto* box = qobject_cast<KMessageBox*>(dialog);
            if (!dialog || !dialog->isVisible() || (!box && !qobject_cast<QFileDialog*>(dialog))) {
                m_seen = nullptr;
                return;
            }
            if (m_seen != dialog) {
                m_seen = dialog;
                m_seenSince.start();
                return;
            }
            if (m_seenSince.elapsed() < 1000)
                return;
            m_texts.append(box ? box->text() : dialog->windowTitle());
            dialog->done(-1);
        });
        m_poll.start();
    }
    // The texts of the boxes closed since the last call, and the answers queued that no box took;
    // clears both.
    QStringList leftOver()
    {
        QStringList left = std::exchange(m_texts, {});
        if (const int answers = KMessageBox::queuedAnswerCount() + KSaveFileDialog::queuedFileNameCount())
            left << QStringLiteral("%1 answers not asked for").arg(answers);
        KMessageBox::clearNextAnswers();
        KSaveFileDialog::clearNextFileNames();
        return left;
    }

private:
    QTimer m_poll;
    QStringList m_texts;
    QPointer<QDialog> m_seen;
    QElapsedTimer m_seenSince;
};

} // namespace KRecoveryTest
