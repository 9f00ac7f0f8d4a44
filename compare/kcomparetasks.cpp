#include "compare/kcomparetasks.h"

#include "compare/kcancel.h"

#include <QThreadPool>

namespace KCompareTasks {

QThreadPool* pool()
{
    static QThreadPool threads;
    static const bool configured = [] {
        threads.setMaxThreadCount(2);
        return true;
    }();
    Q_UNUSED(configured)
    return &threads;
}

void shutDown()
{
    KCancel::everything() = true;
    pool()->waitForDone();
    KCancel::everything() = false;
}

} // namespace KCompareTasks
