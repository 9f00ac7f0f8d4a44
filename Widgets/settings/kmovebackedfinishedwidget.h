#pragma once

#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class KMoveBackedFinishedWidget;
}

// The panel that says the backups have moved, with a button that closes it.
class KMoveBackedFinishedWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KMoveBackedFinishedWidget(QWidget* parent = nullptr);
    ~KMoveBackedFinishedWidget() override;

signals:
    void finish();

private:
    QScopedPointer<Ui::KMoveBackedFinishedWidget> m_ui;
    Q_DISABLE_COPY(KMoveBackedFinishedWidget)
};
