#pragma once

class QThreadPool;

// The threads that comparisons and private copies run on, away from the GUI thread.
namespace KCompareTasks {

QThreadPool* pool();

// Asks every task to stop and waits until none runs: the module calls it before it goes, as
// tasks run its code.
void shutDown();

} // namespace KCompareTasks
