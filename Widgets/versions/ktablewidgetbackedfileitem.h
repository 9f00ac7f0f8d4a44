#pragma once

#include "Widgets/table/ktablewidgetitembase.h"
#include "service/kservices.h"

#include <QScopedPointer>

namespace Ui {
class KTableWidgetBackedFileItem;
}

class KClickLabel;
class QLabel;
class KFindBackLabel;

// One version in the version list: its backup time and size (the newest marked), the restore
// control (to the desktop, or from its menu to the file's own place) and a delete button. Keyed
// by the version's FileID.
class KTableWidgetBackedFileItem final : public KTableWidgetItemBase
{
    Q_OBJECT

public:
    // The texts setData() takes, in this order.
    enum Text
    {
        SourcePath,
        VersionId, // the backup time is read from it
        SizeText,
        Newest, // "1" for the newest version
        RestoredTo, // where an earlier restore of this version wrote, or empty
        ResultText, // what it reported
        CopyDamaged, // "1" when the backup copy is known to be damaged
        CopyMissing, // "1" when the backup copy is gone
    };

    explicit KTableWidgetBackedFileItem(const KServices& services, QWidget* parent = nullptr);
    ~KTableWidgetBackedFileItem() override;

    QString sourcePath() const { return m_sourcePath; }
    QString versionId() const { return m_versionId; }
    // Where the last restore wrote, or is writing, the copy.
    QString targetPath() const { return m_targetPath; }
    KFindBackLabel* findBackLabel() const;

    // Says the backup copy is damaged in place of the restore control.
    void setDamaged();
    bool isDamaged() const { return m_damaged; }
    // Whether the row offers to fetch its copy from the repository off this machine.
    bool offersFetch() const;

public slots:
    void setData(const QStringList& texts) override;
    void onToDeskTop();
    void onToSrcPlace();
    void onOpenFolder();
    void onDelete();
    // The view of what changed since this version, and the version opened read-only.
    void onCompare();
    void onOpenReadOnly();
    // Fetches the copy from the repository off this machine into the backup folder.
    void onFetch();

private:
    // Reports a vanished backup copy; the row then offers to fetch it, or asks to leave the list.
    void dropMissingVersion();
    // Shows the offer to fetch the copy when it is damaged or gone and the repository is set up.
    void showFetchOffer();
    QLabel* newestMark();
    KClickLabel* fetchLink();
    // Copies to m_targetPath, asking on failure, and shows the result.
    void copyAndShow();

    const KServices m_services;
    QScopedPointer<Ui::KTableWidgetBackedFileItem> m_ui;
    QString m_sourcePath;
    QString m_versionId;
    QString m_targetPath;
    QLabel* m_newest = nullptr;
    KClickLabel* m_fetch = nullptr;
    bool m_damaged = false;
    bool m_missing = false;
    bool m_fetching = false;
    Q_DISABLE_COPY(KTableWidgetBackedFileItem)
};
