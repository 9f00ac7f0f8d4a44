#pragma once

#include "Widgets/dialogs/kdialogbasewidget.h"
#include "service/kservices.h"

#include <QScopedPointer>

namespace Ui {
class KCleanDlg;
}

// Frees space in the backup folder in one step: shows what all backups take and what those
// made before today take, and deletes either set once the user has confirmed it. The sizes are
// computed once the dialog shows.
class KCleanDlg : public KDialogBaseWidget
{
    Q_OBJECT

public:
    explicit KCleanDlg(const KServices& services, QWidget* parent = nullptr);
    ~KCleanDlg() override;

signals:
    void sigGetBackedFilesSize();

public slots:
    void onCleanAll();
    void onCleanBefore();
    void onGetBackedFilesSize();

private:
    void showSizes();
    // Asks before a clean-up; true for yes.
    bool confirm(const QString& question);

    const KServices m_services;
    QScopedPointer<Ui::KCleanDlg> m_ui;
    Q_DISABLE_COPY(KCleanDlg)
};
