#pragma once

#include "Widgets/table/ktablewidgetitembase.h"

class QLabel;

// A group title between file rows, such as a month: green bold text on a light grey strip.
class KTableWidgetDateTimeItem final : public KTableWidgetItemBase
{
    Q_OBJECT

public:
    explicit KTableWidgetDateTimeItem(QWidget* parent = nullptr);

    QString title() const;

public slots:
    // Entry 0 is the title.
    void setData(const QStringList& texts) override;

private:
    QLabel* m_lblTitle;
};
