#include "offsite/koffsitesecret.h"

#include "offsite/koffsitetypes.h"

#include <qt5keychain/keychain.h>

const QString KOffsiteSecret::Service = QStringLiteral("Vaultkeep");
const QString KOffsiteSecret::Key = QStringLiteral("offsite-repository-password");

namespace {

bool isKeyringMissing(QKeychain::Error error)
{
    return error == QKeychain::NoBackendAvailable || error == QKeychain::NotImplemented
        || error == QKeychain::OtherError || error == QKeychain::AccessDenied;
}

} // namespace

KOffsiteSecret::KOffsiteSecret(QObject* parent)
    : QObject(parent)
{ }

void KOffsiteSecret::read()
{
    auto* job = new QKeychain::ReadPasswordJob(Service, this);
    // Never the library's plain-text file in place of a keyring.
    job->setInsecureFallback(false);
    job->setKey(Key);
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        if (job->error() == QKeychain::NoError) {
            emit passwordRead(job->binaryData());
        } else if (job->error() == QKeychain::EntryNotFound) {
            emit passwordRead(QByteArray());
        } else {
            qCInfo(vkOffsite) << "no keyring:" << job->errorString();
            if (isKeyringMissing(job->error()))
                emit keyringUnavailable();
            else
                emit passwordRead(QByteArray());
        }
    });
    job->start();
}

void KOffsiteSecret::write(const QByteArray& password)
{
    auto* job = new QKeychain::WritePasswordJob(Service, this);
    job->setInsecureFallback(false);
    job->setKey(Key);
    job->setBinaryData(password);
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        if (job->error() != QKeychain::NoError) {
            qCInfo(vkOffsite) << "the keyring did not keep the password:" << job->errorString();
            emit keyringUnavailable();
        }
        emit written(job->error() == QKeychain::NoError);
    });
    job->start();
}

void KOffsiteSecret::remove()
{
    auto* job = new QKeychain::DeletePasswordJob(Service, this);
    job->setInsecureFallback(false);
    job->setKey(Key);
    job->start();
}
