#include "discovery/krecentkde.h"
#include "discovery/krecentlibreoffice.h"
#include "discovery/krecentxbel.h"
#include "kfuzzrequire.h"

#include <QBuffer>
#include <QDir>

#include <algorithm>
#include <cstring>

// The desktop's recent-file lists as any program, or anyone who can write them, may leave them.
// A list reads the same whether the file gives its bytes at once or a few at a time (as a large
// file gives them window by window), and every file read is an absolute, clean local path.
// The first byte picks the reader and how many bytes a read gives.

namespace {

// A file that gives at most `step` bytes a read.
class Trickle : public QIODevice
{
public:
    Trickle(const QByteArray& bytes, int step)
        : m_bytes(bytes)
        , m_step(step)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_bytes.size() - m_at + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const int got = int(std::min<qint64>({ maxSize, m_step, m_bytes.size() - m_at }));
        std::memcpy(data, m_bytes.constData() + m_at, size_t(got));
        m_at += got;
        return got;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray m_bytes;
    const int m_step;
    int m_at = 0;
};

struct Read
{
    KReadResult result = KReadResult::Complete;
    QStringList files;
    QList<qint64> times;
    bool operator==(const Read& other) const
    {
        return result == other.result && files == other.files && times == other.times;
    }
};

Read read(int reader, QIODevice* device)
{
    Read read;
    if (reader == 0) {
        QList<KRecentEntry> entries;
        read.result = KRecentXbel::parse(device, 1 << 20, &entries);
        for (const KRecentEntry& entry : qAsConst(entries)) {
            read.files.append(entry.path);
            read.times.append(entry.usedMSecs);
        }
    } else if (reader == 1) {
        read.result = KRecentLibreOffice::parse(device, 1 << 20, &read.files);
    } else {
        const QString file = KRecentKde::parse(device, QStringLiteral("/home/ann"));
        if (!file.isEmpty())
            read.files.append(file);
    }
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int reader = data[0] % 3;
    const int step = 1 + data[0] / 3 % 16;
    QByteArray bytes(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    QBuffer whole(&bytes);
    whole.open(QIODevice::ReadOnly);
    Trickle trickle(bytes, step);
    const Read atOnce = read(reader, &whole);
    require(atOnce == read(reader, &trickle), "a list reads otherwise when its bytes come a few at a time");
    for (const QString& file : atOnce.files) {
        require(
            file.startsWith(QLatin1Char('/')) && !file.contains(QChar(0)) && QDir::cleanPath(file) == file,
            "a file that is not an absolute, clean local path was read");
    }
    return 0;
}
