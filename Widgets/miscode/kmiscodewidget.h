#pragma once

#include "service/kservices.h"

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
// version dialog is open, so that a list under a dialog never changes. A list of another filter,
// page or search starts at its top; a refresh of the same one stays where the reader is.
// The search field below the filters keeps the files whose names hold its text, in the list and
// in the filters' counts. The list, its header and its page bar take the page's whole size.
class KMisCodeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KMisCodeWidget(QWidget* parent = nullptr);
    ~KMisCodeWidget() override;

    // Joins the page to the engine; once, before it is shown.
    void setServices(const KServices& services);

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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placePlaceholder();

    KServices m_services;
    QScopedPointer<Ui::KMisCodeWidget> m_ui;
    KNoDataWidget* m_noData;
    bool m_updateAccepted = false;
    // The list last shown, to tell another one from a refresh of it.
    int m_shownType = -1;
    int m_shownPage = -1;
    QString m_shownSearch;
    Q_DISABLE_COPY(KMisCodeWidget)
};
