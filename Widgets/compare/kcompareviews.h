#pragma once

#include "compare/kcomparison.h"

#include <QAbstractTableModel>
#include <QImage>
#include <QStyledItemDelegate>
#include <QWidget>

// The lines of a text comparison: old and new line numbers, then the line, coloured by what
// happened to it.
class KDiffModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        OldNumber,
        NewNumber,
        Text,
    };

    using QAbstractTableModel::QAbstractTableModel;
    void setLines(QVector<KDiffLine> lines);
    const KDiffLine& line(int row) const { return m_lines.at(row); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QVector<KDiffLine> m_lines;
};

// Paints a line's changed words on a darker ground.
class KDiffDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The cells of a spreadsheet that differ: sheet, cell, before, after.
class KCellModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;
    void setChanges(QVector<KCellChange> changes);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVector<KCellChange> m_changes;
};

// A picture shrunk to fit, centred at the top, on a chequered ground where it is transparent. As
// high as the picture is at the view's width, so that a layout can centre it with its caption.
class KPictureView final : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
    void setImage(const QImage& image);
    QImage image() const { return m_image; }

    bool hasHeightForWidth() const override { return !m_image.isNull(); }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};
