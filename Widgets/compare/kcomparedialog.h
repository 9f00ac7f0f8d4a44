#pragma once

#include "compare/kcomparison.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QScopedPointer>

namespace Ui {
class KCompareDialog;
} // namespace Ui

class KCellModel;
class KPlatform;
class KDiffModel;

// The read-only view of what changed between two states of a file: lines and words of texts and
// documents, cells of spreadsheets, pixels of pictures, the bytes of anything else. The
// comparison runs on a worker thread; the view says it is busy meanwhile and never waits for it.
class KCompareDialog : public QDialog
{
    Q_OBJECT
    // For programs that drive the view by its properties (the host's screenshot tour).
    Q_PROPERTY(bool busy READ isBusy NOTIFY compared)

public:
    // One side: the file, what the view calls it, and when it was last changed.
    struct Side
    {
        QString path;
        QString title;
        QString time;
    };

    // Compares `before` with `after` (no path: nothing to compare with) as files named
    // `fileName`; `versionPath` is the backup copy the view opens read-only.
    KCompareDialog(KPlatform* platform, const QString& fileName, const Side& before, const Side& after,
        const QString& versionPath, QWidget* parent = nullptr);
    ~KCompareDialog() override;

    // Opens, window-modal over `parent` and deleted when closed, the view of the version
    // `versionId` of `sourcePath` against the file as it is now or, when the file is gone,
    // of the version `olderVersionId` (if any) against it.
    static KCompareDialog* openForVersion(QWidget* parent, KPlatform* platform, const QString& sourcePath,
        const QString& versionId, const QString& olderVersionId);

    bool isBusy() const;
    const KComparison& comparison() const { return m_result; }

    // What the user reads about a problem; `detail` names the part of a document concerned.
    static QString problemText(KCompareProblem problem, const QString& detail);

signals:
    // The result is on screen.
    void compared();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showResult(const KComparison& result);
    QString verdict(const KComparison& result) const;
    void showSides(const KComparison& result);

    QScopedPointer<Ui::KCompareDialog> m_ui;
    const QString m_fileName;
    const Side m_before;
    const Side m_after;
    KPlatform* const m_platform;
    const QString m_versionPath;
    KCancel m_cancel;
    QFutureWatcher<KComparison> m_watcher;
    KDiffModel* m_diffModel;
    KCellModel* m_cellModel;
    KComparison m_result;
    bool m_busy = true;
    Q_DISABLE_COPY(KCompareDialog)
};
