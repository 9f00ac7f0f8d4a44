#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class KFileVersionDlg;
}

class KTableWidget;

// The modal list of every backed-up version of one protected file, from which a version is
// restored or deleted. The list is built once the dialog is on screen. While any such dialog
// exists the pages hold back their refreshes; closing it asks the engine to refresh them all.
class KFileVersionDlg : public QDialog
{
    Q_OBJECT

public:
    explicit KFileVersionDlg(const QString& strFileName, QWidget* parent = nullptr);
    ~KFileVersionDlg() override;

    // The number of version dialogs alive, on the GUI thread.
    static int openVersionDialogCount();

    QString fileName() const { return m_strFileName; }
    KTableWidget* versionTable() const;
    int shownCount() const;

signals:
    void sigCreateTable();

public slots:
    void onCreateTable();
    void onRowRemoved(QString strKey);

private slots:
    // A restore backed the file up: its new version joins the end of the list.
    void onVersionAdded(const QString& strFileName, const QString& strFileId);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setCount(int count);

    QScopedPointer<Ui::KFileVersionDlg> m_ui;
    const QString m_strFileName;
    bool m_built = false;
    Q_DISABLE_COPY(KFileVersionDlg)
};
