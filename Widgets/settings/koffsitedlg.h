#pragma once

#include "Widgets/dialogs/kdialogbasewidget.h"
#include "offsite/koffsitetypes.h"

#include <QScopedPointer>

class KOffsiteService;

namespace Ui {
class KOffsiteDlg;
}

// The copy off this machine: on or off, the repository, its password (kept in the keyring, or
// for this session alone without one), how long copies are kept and how often they go up; a
// connection test that says what it found and offers to make a repository where there is none;
// and bringing every version back from the repository, on a new machine, in one action.
class KOffsiteDlg : public KDialogBaseWidget
{
    Q_OBJECT

public:
    explicit KOffsiteDlg(KOffsiteService* service, QWidget* parent = nullptr);
    ~KOffsiteDlg() override;

private slots:
    void onTest();
    void onTested(KOffsiteProblem problem, bool initialised);
    void onSave();
    void onRestoreAll();
    void onAllRestored(KOffsiteProblem problem, int restored, int kept);

private:
    KOffsiteSettings chosen() const;
    void showKeyringNote();

    KOffsiteService* const m_service;
    QScopedPointer<Ui::KOffsiteDlg> m_ui;
    bool m_testing = false;
    bool m_restoring = false;
    Q_DISABLE_COPY(KOffsiteDlg)
};
