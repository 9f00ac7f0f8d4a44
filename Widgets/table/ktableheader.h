#pragma once

#include <QWidget>

class QLabel;

// The column titles above a file list: project file, backup count, last backup date, operation.
// The self-backup list has no backup count column. The file column takes what a wider list
// gives, as the rows' file names do; the operation column leaves room for the list's scroll bar.
class KTableHeader : public QWidget
{
    Q_OBJECT

public:
    explicit KTableHeader(QWidget* parent = nullptr);

    // True: four columns; false: three, the file column wider by the count's.
    void setBackedNumberVisible(bool visible);
    bool isBackedNumberVisible() const;

private:
    QLabel* m_lblFile;
    QLabel* m_lblBackedNumber;
    QLabel* m_lblLastBackedTime;
    QLabel* m_lblOperation;
    Q_DISABLE_COPY(KTableHeader)
};
