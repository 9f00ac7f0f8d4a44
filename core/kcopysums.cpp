#include "core/kcopysums.h"

#include "core/klogging.h"
#include "platform/kfileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>

namespace {

const QByteArray Header = "vaultkeep-sums 1\n";
const QByteArray EndMark = "end ";
// Far beyond the lines of a million versions; a larger file is not one of ours.
constexpr qint64 MaxFileSize = 512 * 1024 * 1024;
constexpr int MaxLine = 4096;
constexpr int ChunkSize = 256 * 1024;

std::atomic<quint64> g_generation { 0 };

QByteArray hex16(quint64 value)
{
    return QByteArray::number(value, 16).rightJustified(16, '0');
}

bool parseHex16(const char* text, quint64* value)
{
    quint64 result = 0;
    for (int i = 0; i < 16; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0)
            return false;
        result = (result << 4) | quint64(digit);
    }
    *value = result;
    return true;
}

// "<size> <hash or -> <FileID>", without its line end.
bool parseLine(const char* line, int length, KVersionId* version)
{
    int at = 0;
    qint64 size = 0;
    while (at < length && line[at] >= '0' && line[at] <= '9' && size < (qint64(1) << 58))
        size = size * 10 + (line[at++] - '0');
    if (at == 0 || at >= length || line[at++] != ' ')
        return false;
    KContentSum sum { size, 0, false };
    if (line[at] == '-') {
        ++at;
    } else {
        if (length - at < 16 || !parseHex16(line + at, &sum.hash))
            return false;
        sum.hasHash = true;
        at += 16;
    }
    if (at >= length || line[at++] != ' ' || at >= length)
        return false;
    *version = KVersionId(KVersionKey::fromUtf8(line + at, length - at));
    version->setSum(sum);
    return true;
}

} // namespace

QString KCopySums::pathBeside(const QString& databasePath)
{
    const QFileInfo database(databasePath);
    return database.absoluteDir().filePath(database.completeBaseName() + QStringLiteral(".sums"));
}

quint64 KCopySums::generation()
{
    return g_generation.load();
}

void KCopySums::noteNewSum()
{
    ++g_generation;
}

KCopySums::KCopySums(QVector<KVersionId> versions)
    : m_versions(std::move(versions))
{
    if (!std::is_sorted(m_versions.cbegin(), m_versions.cend()))
        std::sort(m_versions.begin(), m_versions.end());
}

void KCopySums::appendLine(QByteArray* out, const KVersionId& version)
{
    const KContentSum sum = version.sum();
    if (!sum.isKnown())
        return;
    out->append(QByteArray::number(sum.size)).append(' ');
    out->append(sum.hasHash ? hex16(sum.hash) : QByteArray("-")).append(' ');
    version.appendText(out);
    out->append('\n');
}

QByteArray KCopySums::text(const QByteArray& lines)
{
    QByteArray text;
    text.reserve(Header.size() + lines.size() + 24);
    text.append(Header).append(lines);
    KContentHasher hasher;
    hasher.add(text.constData(), text.size());
    return text.append(EndMark).append(hex16(hasher.sum().hash)).append('\n');
}

bool KCopySums::read(const QString& path, const std::function<void(const KVersionId&)>& take)
{
    const auto file = KFileIO::openRegularFile(path, MaxFileSize);
    if (!file)
        return false;
    KContentHasher hasher;
    char line[MaxLine];
    bool ended = false;
    bool first = true;
    KVersionId version;
    for (;;) {
        const qint64 length = file->readLine(line, sizeof line);
        if (length <= 0)
            break;
        if (ended) {
            ended = false; // something after the end: not a whole file
            break;
        }
        const QByteArray view = QByteArray::fromRawData(line, int(length));
        if (first) {
            if (view != Header)
                break;
            first = false;
        } else if (view.startsWith(EndMark)) {
            quint64 recorded = 0;
            ended = length == EndMark.size() + 17 && line[length - 1] == '\n'
                && parseHex16(line + EndMark.size(), &recorded) && recorded == hasher.sum().hash;
            if (!ended)
                break;
            continue;
        } else if (line[length - 1] == '\n' && parseLine(line, int(length) - 1, &version)) {
            take(version);
        }
        hasher.add(line, length);
    }
    if (!ended || file->error() != QFileDevice::NoError) {
        qCWarning(vkEngine) << "the copies' sums cannot be used, none is checked:" << path;
        return false;
    }
    return true;
}

KCopySums::Writer::Writer(int fd)
    : m_fd(fd)
{
    m_buffer.reserve(ChunkSize + ChunkSize / 4);
    m_buffer.append(Header);
}

void KCopySums::Writer::spill()
{
    m_hasher.add(m_buffer.constData(), m_buffer.size());
    m_written = m_written && KFileIO::writeAll(m_fd, m_buffer.constData(), m_buffer.size());
    m_buffer.resize(0);
}

bool KCopySums::Writer::finish()
{
    spill();
    m_buffer.append(EndMark).append(hex16(m_hasher.sum().hash)).append('\n');
    m_written = m_written && KFileIO::writeAll(m_fd, m_buffer.constData(), m_buffer.size());
    return m_written && m_hasher.isValid();
}

KCopySums KCopySums::read(const QString& path)
{
    QVector<KVersionId> versions;
    if (!read(path, [&versions](const KVersionId& version) { versions.append(version); }))
        return KCopySums();
    return KCopySums(std::move(versions));
}

KContentSum KCopySums::sumOf(const KVersionId& version) const
{
    const auto found = std::lower_bound(m_versions.cbegin(), m_versions.cend(), version);
    return found != m_versions.cend() && *found == version ? found->sum() : KContentSum();
}
