#pragma once

#include <QByteArray>
#include <QObject>

// The off-site password in the desktop's keyring (the Secret Service or KWallet), through
// QtKeychain, never in a file: without a keyring nothing is stored, and the caller asks the user
// at every start and keeps the answer in memory. Answers come as signals, in the thread that
// asked, once the keyring has answered.
class KOffsiteSecret : public QObject
{
    Q_OBJECT

public:
    explicit KOffsiteSecret(QObject* parent = nullptr);

    // Virtual for a keyring of the tests' own.
    virtual void read();
    virtual void write(const QByteArray& password);
    virtual void remove();

    static const QString Service;
    static const QString Key;

signals:
    // Empty when the keyring holds none.
    void passwordRead(const QByteArray& password);
    void written(bool stored);
    // No keyring answers here: the password lives in memory for this run only.
    void keyringUnavailable();
};
