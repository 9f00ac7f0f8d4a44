#pragma once

#include "offsite/koffsitesecret.h"

#include <QMutex>
#include <QMutexLocker>

// A keyring in memory: answers as the desktop's would, or as none when `available` is false.
// Called on the off-site thread, read by the test's.
class KFakeKeyring final : public KOffsiteSecret
{
public:
    explicit KFakeKeyring(const QByteArray& stored = QByteArray(), bool available = true)
        : m_stored(stored)
        , m_available(available)
    { }

    QByteArray stored() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_stored;
    }

    void read() override
    {
        if (!m_available)
            emit keyringUnavailable();
        else
            emit passwordRead(stored());
    }
    void write(const QByteArray& password) override
    {
        if (m_available) {
            const QMutexLocker locker(&m_mutex);
            m_stored = password;
        } else {
            emit keyringUnavailable();
        }
        emit written(m_available);
    }
    void remove() override { write(QByteArray()); }

private:
    mutable QMutex m_mutex;
    QByteArray m_stored;
    const bool m_available;
};
