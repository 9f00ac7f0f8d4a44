#pragma once

#include "Widgets/table/ktablewidgetitembase.h"
#include "service/kservices.h"

#include <QScopedPointer>

namespace Ui {
class KTableWidgetDeletedFileItem;
}

class KFindBackLabel;

// One protected file whose source is gone: its name and folder, the control that brings it back
// from its newest backup (to the desktop, or from the menu to its old place, or any version
// chosen in the file's version dialog), and a delete button. Keyed by the file's full path.
class KTableWidgetDeletedFileItem final : public KTableWidgetItemBase
{
    Q_OBJECT

public:
    explicit KTableWidgetDeletedFileItem(const KServices& services, QWidget* parent = nullptr);
    ~KTableWidgetDeletedFileItem() override;

    QString sourcePath() const { return m_sourcePath; }
    QString targetPath() const { return m_targetPath; }
    KFindBackLabel* findBackLabel() const;

public slots:
    // Full path, restored-to path or empty, result message or empty.
    void setData(const QStringList& texts) override;
    void onToDeskTop();
    void onToSrcPlace();
    void onOpenFolder();
    void onDelete();
    // Opens the file's version dialog, to bring back a version of the user's choice.
    void onShowVersions();

signals:
    // The file was brought back to `targetPath`; `message` says so. Its page keeps the row so.
    void restored(const QString& key, const QString& targetPath, const QString& message);

private:
    // Brings the file back to `target`; the boxes' kinds differ between the two places.
    void bringBack(const QString& target, int missingKind, int failedKind);
    // When the copy `fileId` is gone and the repository off this machine is set up: asks, fetches
    // it and then brings the file back. False when that is not offered.
    bool fetchThenBringBack(const QString& fileId, const QString& target, int missingKind, int failedKind);
    // Shows the file as brought back to `target`, and tells the page.
    void showRestored(const QString& target, const QString& message);

    const KServices m_services;
    QScopedPointer<Ui::KTableWidgetDeletedFileItem> m_ui;
    QString m_sourcePath;
    QString m_targetPath;
    Q_DISABLE_COPY(KTableWidgetDeletedFileItem)
};
