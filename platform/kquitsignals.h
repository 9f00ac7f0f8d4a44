#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (a session that ends, a service manager that stops the
// program, Ctrl+C) into a signal on the thread that made it, so that the program quits as from
// its menu and saves what it keeps. A second such signal while the first is handled ends the
// program at once, as the system's default would. One instance per process.
class KQuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit KQuitSignals(QObject* parent = nullptr);
    ~KQuitSignals() override;

signals:
    void quitRequested(int signalNumber);

private:
    void onReadable();

    QSocketNotifier* m_notifier = nullptr;
};
