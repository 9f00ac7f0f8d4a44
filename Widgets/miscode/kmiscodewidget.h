#pragma once

#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class KMisCodeWidget;
}

class KNoDataWidget;
class KPageSpliterWidget;
class KTableHeader;
class KTableWidget;
class KTypeWidget;

// The mis-edit recovery page: the filter column, the list of one filter's files twenty to a
// page, and the page bar. It holds no data of its own: the engine pages and sorts the records
// and streams the current page in; the page only shows it. A file opens its version dialog.
//
// A refresh is PreUpdate, rows, EndUpdate. It is refused as a whole while a message box or a
// version dialog is open, so that a list under a dialog never changes.
class KMisCodeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KMisCodeWidget(QWidget* parent = nullptr);
    ~KMisCodeWidget() override;

    KTypeWidget* typeWidget() const;
    KTableHeader* tableHeader() const;
    KTableWidget* table() const;
    KPageSpliterWidget* pageBar() const;
    KNoDataWidget* placeholder() const { return m_noData; }
    bool isUpdateAccepted() const { return m_updateAccepted; }

public slots:
    void onAfxMisCodePreUpdate(int nType, int nPageIndex);
    void onAfxMisCodeEndUpdate(
        int nType, int nSuccessNumberThisTime, int nFailedNumberThisTime, int nPageIndex, int nTotalPage);
    void onAfxMisCodeAddRow(const QString& strFileName, const QString& strBackedNumber,
        const QString& strLastBackedTime, int rowType, int nPageIndex);
    void onAfxMisCodeCopyedAddRow(
        const QString& strFileName, const QString& strDateTime, int nType, int nPageIndex, int nTotalPage);
    void onShowFileVersionDlg(const QString& strFileName);

private:
    QScopedPointer<Ui::KMisCodeWidget> m_ui;
    KNoDataWidget* m_noData;
    bool m_updateAccepted = false;
    Q_DISABLE_COPY(KMisCodeWidget)
};
