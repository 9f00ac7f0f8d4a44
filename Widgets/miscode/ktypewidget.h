#pragma once

#include "core/kfilelist.h"

#include <QMap>
#include <QWidget>

class KFileTypeLabel;
class QLabel;

// The filter column of the mis-edit page: recent backups (today, the last three days) and all
// backups by kind, then the pricing product's self-backups, each with its count. No filter is
// selected at first (8).
class KTypeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KTypeWidget(QWidget* parent = nullptr);

    int currentType() const { return m_currentType; }
    // Selects the entry of `type` as a click on it would, reporting it.
    void selectType(int type);
    // The entry of a filter number 0 to 7; null for any other.
    KFileTypeLabel* label(int type) const;
    QList<KFileTypeLabel*> labels() const { return m_labels.values(); }

    // The caption of a filter with its count in place of %1.
    static QString caption(int type);
    // 160 pixels, or wider where a caption with a four-digit count needs it.
    int columnWidth() const { return m_columnWidth; }

public slots:
    void onLabelClicked(int fileType);
    void onSetNumber(int nNumber, int nType);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QMap<int, KFileTypeLabel*> m_labels;
    int m_currentType = KFileList::None;
    int m_columnWidth = 160;
    Q_DISABLE_COPY(KTypeWidget)
};
