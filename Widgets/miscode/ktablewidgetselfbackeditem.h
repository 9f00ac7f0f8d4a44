#pragma once

#include "Widgets/table/ktablewidgetitembase.h"
#include "service/kservices.h"

#include <QScopedPointer>

namespace Ui {
class KTableWidgetSelfBackedItem;
}

// One of the pricing product's own backup files in the self-backup list, with the button that
// restores it to the desktop. Keyed by the file's full path.
class KTableWidgetSelfBackedItem final : public KTableWidgetItemBase
{
    Q_OBJECT

public:
    explicit KTableWidgetSelfBackedItem(const KServices& services, QWidget* parent = nullptr);
    ~KTableWidgetSelfBackedItem() override;

public slots:
    // Full path, modification time text.
    void setData(const QStringList& texts) override;
    void onBackToDeskTop();

private:
    const KServices m_services;
    QScopedPointer<Ui::KTableWidgetSelfBackedItem> m_ui;
    Q_DISABLE_COPY(KTableWidgetSelfBackedItem)
};
