#pragma once

#include "service/kservices.h"

#include <QMap>
#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class KDeletedWidget;
}

class KNoDataWidget;
class KTableWidget;

// The deleted-file page: the protected files whose source is gone while a backup of them
// exists, each brought back from its latest backup to its old place or to the desktop. The
// engine decides which files are gone and streams them in; the rows restore them. A file
// brought back stays in the list, showing the result, until the list is cleared.
class KDeletedWidget : public QWidget
{
    Q_OBJECT

public:
    // A file brought back: where to, the message shown, and its row's key.
    struct RestoredRow
    {
        QString targetPath;
        QString message;
        QString key;
    };

    explicit KDeletedWidget(QWidget* parent = nullptr);
    ~KDeletedWidget() override;

    // Joins the page to the engine; once, before it is shown.
    void setServices(const KServices& services);

    // The files brought back since the list was last cleared, by row key.
    const QMap<QString, RestoredRow>& restoredRows() const { return m_restored; }

    KTableWidget* table() const;
    KNoDataWidget* placeholder() const { return m_noData; }

public slots:
    void onAfxDeletedPreUpdate();
    void onAfxDeletedAddRow(const QString& strFileName);
    void onAfxDeletedEndUpdate();
    void onClear();
    void onRowRemoved(const QString& strKey);
    void onRowRestored(const QString& key, const QString& targetPath, const QString& message);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Shows the placeholder over the whole page, or the list with its title strip.
    void showEmptyState(bool empty);
    // Hides the rows whose file names do not hold the search field's text (any case).
    void applySearch();

    KServices m_services;
    QScopedPointer<Ui::KDeletedWidget> m_ui;
    KNoDataWidget* m_noData;
    QMap<QString, RestoredRow> m_restored;
    bool m_updateAccepted = false;
    Q_DISABLE_COPY(KDeletedWidget)
};
