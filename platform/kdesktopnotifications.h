#pragma once

#include <QList>
#include <QObject>
#include <QString>

// Notifications shown by the desktop's notification server, with buttons ("actions") the user
// can press. Nothing here waits for the server: notify() returns at once, and what the server
// answers or the user does arrives as signals. Used on the GUI thread.
class KDesktopNotifications : public QObject
{
    Q_OBJECT

public:
    struct Action
    {
        QString key; // "default" is clicking the notification itself
        QString text;
    };
    struct Notification
    {
        QString summary;
        QString body; // plain text
        QList<Action> actions;
    };

    ~KDesktopNotifications() override;

    // Whether a server is on the bus, as last heard; false until that is known.
    virtual bool isAvailable() const = 0;
    // Whether the server shows actions; a notification's actions are lost on one that does not.
    virtual bool showsActions() const = 0;

    // Hands `notification` to the server; it stays until the user closes it. The number returned
    // names it in the signals and in close().
    virtual quint32 notify(const Notification& notification) = 0;
    // Takes a notification away, if the server still shows it.
    virtual void close(quint32 id) = 0;

signals:
    void availabilityChanged(bool available);
    void actionInvoked(quint32 id, const QString& key);
    // The notification is gone from the desktop, by the user, the server or close().
    void closed(quint32 id);
    // The server did not take the notification: it was never shown.
    void failed(quint32 id);

protected:
    explicit KDesktopNotifications(QObject* parent = nullptr);

private:
    Q_DISABLE_COPY(KDesktopNotifications)
};
