#include "Widgets/compare/kreadonlyopen.h"

#include "Widgets/dialogs/kmessagebox.h"
#include "compare/kcancel.h"
#include "compare/kcomparetasks.h"
#include "platform/kplatform.h"
#include "platform/kviewcopies.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QWidget>
#include <QtConcurrent>

namespace KReadOnlyOpen {

void open(QWidget* parent, KPlatform* platform, const QString& versionPath, const QString& fileName,
    const std::function<void(bool)>& finished)
{
    auto* watcher = new QFutureWatcher<QString>(parent);
    QObject::connect(watcher, &QFutureWatcherBase::finished, parent, [parent, platform, watcher, finished] {
        const QString copy = watcher->result();
        watcher->deleteLater();
        const bool opened = !copy.isEmpty() && platform->openWithDesktopProgram(copy);
        if (!opened)
            KYMessageBox::information(parent->window(), QMessageBox::Warning,
                QCoreApplication::translate("KReadOnlyOpen", "打开文件失败！"))
                ->exec();
        if (finished)
            finished(opened);
    });
    watcher->setFuture(QtConcurrent::run(KCompareTasks::pool(), [versionPath, fileName] {
        return KViewCopies::make(versionPath, fileName, [] { return KCancel::everything().load(); });
    }));
}

} // namespace KReadOnlyOpen
