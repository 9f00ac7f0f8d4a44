#pragma once

#include "Widgets/table/ktablewidgetitembase.h"

#include <QScopedPointer>

namespace Ui {
class KTableWidgetDeletedFileItem;
}

class KFindBackLabel;

// One protected file whose source is gone: its name and folder, the control that brings it back
// from its latest backup (to the desktop, or from the menu to its old place), and a delete
// button. Keyed by the file's full path.
class KTableWidgetDeletedFileItem final : public KTableWidgetItemBase
{
    Q_OBJECT

public:
    explicit KTableWidgetDeletedFileItem(QWidget* parent = nullptr);
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

private:
    // Brings the file back to `target`; the boxes' kinds differ between the two places.
    void bringBack(const QString& target, int missingKind, int failedKind, const QString& successText);

    QScopedPointer<Ui::KTableWidgetDeletedFileItem> m_ui;
    QString m_sourcePath;
    QString m_targetPath;
    Q_DISABLE_COPY(KTableWidgetDeletedFileItem)
};
