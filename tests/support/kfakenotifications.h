#pragma once

#include "platform/kdesktopnotifications.h"

#include <QMap>

// A notification server a test plays: there or not, showing actions or not, taking or refusing
// what it is given (refusals arrive later, as a server's answers do). It keeps what it shows, and
// the test presses their actions.
class KFakeNotifications final : public KDesktopNotifications
{
    Q_OBJECT

public:
    void setServer(bool available, bool showsActions = true)
    {
        const bool changed = available != m_available;
        m_available = available;
        m_showsActions = showsActions;
        if (changed)
            emit availabilityChanged(available);
    }
    void setRefusing(bool refusing) { m_refusing = refusing; }

    // Those still shown, by the number notify() gave.
    QMap<quint32, Notification> open() const { return m_open; }
    // The user presses an action of a notification shown; the server then closes it.
    void invoke(quint32 id, const QString& key)
    {
        if (m_open.contains(id)) {
            emit actionInvoked(id, key);
            close(id);
        }
    }

    bool isAvailable() const override { return m_available; }
    bool showsActions() const override { return m_available && m_showsActions; }
    quint32 notify(const Notification& notification) override
    {
        const quint32 id = ++m_lastId;
        if (m_refusing || !m_available)
            QMetaObject::invokeMethod(
                this, [this, id] { emit failed(id); }, Qt::QueuedConnection);
        else
            m_open.insert(id, notification);
        return id;
    }
    void close(quint32 id) override
    {
        if (m_open.remove(id) > 0)
            emit closed(id);
    }

private:
    bool m_available = false;
    bool m_showsActions = true;
    bool m_refusing = false;
    quint32 m_lastId = 0;
    QMap<quint32, Notification> m_open;
};
