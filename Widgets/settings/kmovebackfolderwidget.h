#pragma once

#include <QDateTime>
#include <QScopedPointer>
#include <QWidget>

class KPlatform;
class QMovie;
class QTimer;

namespace Ui {
class KMoveBackFolderWidget;
}

// Covers the main window's pages while the backup folder moves from one backup path to another:
// the two drives, an animation and a line of text, for at least MinimumDisplayMs. Then it shows
// the completion panel and closes after FinishedDisplayMs, or at once on its button. When not
// every backup could be moved, a message box names the folder that still holds them instead.
// It deletes itself on close, after sigMoveFinished().
class KMoveBackFolderWidget : public QWidget
{
    Q_OBJECT

public:
    // The move starts as soon as the event loop runs, so that a caller may still store the new
    // backup path first.
    KMoveBackFolderWidget(
        KPlatform* platform, const QString& oldPath, const QString& newPath, QWidget* parent = nullptr);
    ~KMoveBackFolderWidget() override;

    static constexpr int MinimumDisplayMs = 3000;
    static constexpr int FinishedDisplayMs = 3000;

    // The text of the message box for a move that did not complete.
    static QString failureText(int problem, const QString& entry, const QString& backupFolder);

signals:
    void sigMoveFinished();
    void sigSetMovieSpeed();

public slots:
    void finished();
    void onMovedProcess(qulonglong lTotalSize, qulonglong lMovedSize);

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void onMoveResult(bool moved, const QString& backupFolder, int problem, const QString& entry);

private:
    void startMove();
    void coverParent();
    void showFinished();

    QScopedPointer<Ui::KMoveBackFolderWidget> m_ui;
    const QString m_oldPath;
    const QString m_newPath;
    KPlatform* const m_platform;
    QDateTime m_startTime;
    QMovie* m_movie;
    // Single-shot: the rest of the minimum display time, and the completion panel's time.
    QTimer* m_minimumTimer;
    QTimer* m_closeTimer;
    bool m_resultKnown = false;
    bool m_moved = false;
    QString m_backupFolder;
    int m_problem = 0;
    QString m_problemEntry;
    bool m_finishedEmitted = false;
    Q_DISABLE_COPY(KMoveBackFolderWidget)
};
