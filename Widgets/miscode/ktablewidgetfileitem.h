#pragma once

#include "Widgets/table/ktablewidgetitembase.h"
#include "service/kservices.h"

#include <QScopedPointer>

namespace Ui {
class KTableWidgetFileItem;
}

// One protected file in the mis-edit list: icon, name, backup count, last backup time and the
// button that opens its versions. Keyed by the file's full path.
class KTableWidgetFileItem final : public KTableWidgetItemBase
{
    Q_OBJECT

public:
    explicit KTableWidgetFileItem(const KServices& services, QWidget* parent = nullptr);
    ~KTableWidgetFileItem() override;

    QString fileName() const { return m_fileName; }

public slots:
    // Full path, backup count text, last backup time text.
    void setData(const QStringList& texts) override;
    // Runs the version dialog of the file to completion.
    void onOpenFileVersionDlg();

private:
    const KServices m_services;
    QScopedPointer<Ui::KTableWidgetFileItem> m_ui;
    QString m_fileName;
    Q_DISABLE_COPY(KTableWidgetFileItem)
};
