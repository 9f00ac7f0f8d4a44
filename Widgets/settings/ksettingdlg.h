#pragma once

#include "Widgets/dialogs/kdialogbasewidget.h"
#include "service/kservices.h"

#include <QHash>
#include <QScopedPointer>

class QDoubleValidator;

namespace Ui {
class KSettingDlg;
}

// The settings: the drive that holds the backups, the backup size at which the user is reminded
// to clean up (validated against the chosen drive's free space), the seven-day clean-up, whether
// reminders come as desktop notifications, and the ways to the clean-up and off-site copy dialogs.
// Saving stores the settings; moving the backups to another drive is left to the caller, which
// compares the backup path before and after.
class KSettingDlg : public KDialogBaseWidget
{
    Q_OBJECT

public:
    explicit KSettingDlg(const KServices& services, QWidget* parent = nullptr);
    ~KSettingDlg() override;

    static constexpr double MinimumTipGiB = 0.5;

signals:
    void sigGetBackedFilesSize();

public slots:
    void onSavePathIndexChanged(int index);
    void onInputChanged(const QString& text);
    void onCBoxStateChanged(int state);
    void onSave();
    void onShowCreanDlg();
    void onShowOffsiteDlg();
    void onGetBackedFilesSize();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void initialise();
    // The reminder sizes the drive at `root` allows, shown and checked.
    void showRangeOf(const QString& root);
    // The host's settings file, where the interface language is kept.
    QString languageFile() const;

    const KServices m_services;
    QScopedPointer<Ui::KSettingDlg> m_ui;
    // Drive root to its free space in GiB, as shown: one decimal.
    QHash<QString, QString> m_freeGiB;
    // The largest reminder size the selected drive allows, in GiB.
    double m_upperBound = 0.0;
    QDoubleValidator* m_validator = nullptr;
    bool m_saved = false;
    Q_DISABLE_COPY(KSettingDlg)
};
