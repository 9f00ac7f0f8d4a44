#pragma once

#include <QWidget>

class QLabel;

// The column titles above a file list: project file, backup count, last backup date, operation.
// The self-backup list has no backup count column.
class KTableHeader : public QWidget
{
    Q_OBJECT

public:
    explicit KTableHeader(QWidget* parent = nullptr);

    // True: four columns, the file column 268 pixels wide; false: three, the file column 349 wide.
    void setBackedNumberVisible(bool visible);
    bool isBackedNumberVisible() const;

private:
    QLabel* m_lblFile;
    QLabel* m_lblBackedNumber;
    QLabel* m_lblLastBackedTime;
    QLabel* m_lblOperation;
    Q_DISABLE_COPY(KTableHeader)
};
