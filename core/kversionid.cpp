#include "core/kversionid.h"

#include "core/ktimestamp.h"

#include <cstring>
#include <tuple>

namespace {

constexpr int UuidLength = 38;
constexpr int FileIdLength = 62;
constexpr int StampAt = 39;
constexpr int StampLength = 14;
constexpr int DateAt = 54;

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1; // upper-case digits are not the engine's form
}

// The dashes of "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
bool isDash(int position)
{
    return position == 9 || position == 14 || position == 19 || position == 24;
}

// Writes `value` as `width` decimal digits (an even number), two at a time.
void writeDigits(char* out, qint64 value, int width)
{
    static const char pairs[]
        = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
          "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
          "8081828384858687888990919293949596979899";
    for (int i = width - 2; i >= 0; i -= 2) {
        const int pair = int(value % 100);
        out[i] = pairs[2 * pair];
        out[i + 1] = pairs[2 * pair + 1];
        value /= 100;
    }
}

// Writes the 16 hex digits of `half` with the uuid's dashes, from the text's position `from`.
void writeHex(char* text, quint64 half, int from)
{
    static const char hex[] = "0123456789abcdef";
    int at = from;
    for (int digit = 15; digit >= 0; --digit) {
        if (isDash(at))
            text[at++] = '-';
        text[at++] = hex[(half >> (4 * digit)) & 0xF];
    }
}

// The fields of a stamp yyyyMMddhhmmss in 40 bits, year down to second; 0 for none (-1).
constexpr int DateBits = 23;
constexpr quint64 DateMask = (quint64(1) << DateBits) - 1;

quint64 packDate(qint64 date)
{
    if (date < 0)
        return 0;
    return quint64(date / 10000) << 9 | quint64(date / 100 % 100) << 5 | quint64(date % 100);
}

qint64 unpackDate(quint64 packed)
{
    if (packed == 0)
        return -1;
    return qint64(packed >> 9) * 10000 + qint64(packed >> 5 & 0xF) * 100 + qint64(packed & 0x1F);
}

quint64 packStamp(qint64 stamp)
{
    if (stamp < 0)
        return 0;
    const qint64 time = stamp % 1000000;
    return packDate(stamp / 1000000) << 17 | quint64(time / 10000) << 12 | quint64(time / 100 % 100) << 6
        | quint64(time % 100);
}

qint64 unpackStamp(quint64 packed)
{
    if (packed == 0)
        return -1;
    return unpackDate(packed >> 17) * 1000000 + qint64(packed >> 12 & 0x1F) * 10000
        + qint64(packed >> 6 & 0x3F) * 100 + qint64(packed & 0x3F);
}

} // namespace

KVersionKey::KVersionKey(const QString& fileId)
{
    const QStringView view(fileId);
    const qint64 stamp
        = view.size() >= StampAt + StampLength ? KTimeStamp::numberOf(view.mid(StampAt, StampLength)) : -1;
    const int date = view.size() >= 8 ? KTimeStamp::dateNumberOf(view.right(8)) : -1;
    m_when = packStamp(stamp) << DateBits | packDate(date);

    bool compact = view.size() == FileIdLength && view.at(0) == QLatin1Char('{')
        && view.at(UuidLength - 1) == QLatin1Char('}') && view.at(UuidLength) == QLatin1Char('_')
        && view.at(DateAt - 1) == QLatin1Char('_') && stamp >= 0 && date >= 0;
    quint64 digits[2] = { 0, 0 };
    int count = 0;
    for (int i = 1; compact && i < UuidLength - 1; ++i) {
        if (isDash(i)) {
            compact = view.at(i) == QLatin1Char('-');
            continue;
        }
        const int digit = hexDigit(view.at(i));
        compact = digit >= 0;
        digits[count / 16] = (digits[count / 16] << 4) | quint64(digit);
        ++count;
    }
    if (compact) {
        m_key.uuid[0] = digits[0];
        m_key.uuid[1] = digits[1];
    } else {
        new (&m_key.text) QString(fileId.isNull() ? QString(QLatin1String("")) : fileId);
        m_when |= ForeignBit;
    }
}

KVersionKey::KVersionKey(const KVersionKey& other)
    : m_when(other.m_when)
{
    if (other.isForeign())
        new (&m_key.text) QString(other.m_key.text);
    else
        m_key.uuid[0] = other.m_key.uuid[0], m_key.uuid[1] = other.m_key.uuid[1];
}

KVersionKey::KVersionKey(KVersionKey&& other) noexcept
{
    // A QString moves as its bytes; the one moved from keeps none.
    memcpy(static_cast<void*>(this), &other, sizeof *this);
    other.m_when &= ~ForeignBit;
}

KVersionKey& KVersionKey::operator=(const KVersionKey& other)
{
    if (this != &other) {
        KVersionKey copy(other);
        *this = std::move(copy);
    }
    return *this;
}

KVersionKey& KVersionKey::operator=(KVersionKey&& other) noexcept
{
    if (this != &other) {
        release();
        memcpy(static_cast<void*>(this), &other, sizeof *this);
        other.m_when &= ~ForeignBit;
    }
    return *this;
}

KVersionKey::~KVersionKey()
{
    release();
}

void KVersionKey::release()
{
    if (isForeign()) {
        m_key.text.~QString();
        m_when &= ~ForeignBit;
    }
}

qint64 KVersionKey::stamp() const
{
    return unpackStamp((m_when & ~ForeignBit) >> DateBits);
}

int KVersionKey::backupDate() const
{
    return int(unpackDate(m_when & DateMask));
}

void KVersionId::setSum(const KContentSum& sum)
{
    Q_ASSERT(sum.size < qint64(SizeMask));
    m_bits = (sum.size < 0 ? 0 : quint64(sum.size + 1) & SizeMask) | (sum.hasHash ? HashBit : 0);
    m_hash = sum.hash;
}

QString KVersionKey::text() const
{
    if (isForeign())
        return m_key.text;
    // Straight from the stack: a list of thousands of versions asks for every text.
    char ascii[FileIdLength];
    if (writeText(ascii) < 0)
        return QString();
    return QString::fromLatin1(ascii, FileIdLength);
}

void KVersionKey::appendText(QByteArray* out) const
{
    if (isForeign()) {
        out->append(m_key.text.toUtf8());
        return;
    }
    char text[FileIdLength];
    if (writeText(text) > 0)
        out->append(text, FileIdLength);
}

int KVersionKey::writeText(char* text) const
{
    // A version made empty has neither time.
    if (isForeign() || (m_when & DateMask) == 0)
        return -1;
    text[0] = '{';
    writeHex(text, m_key.uuid[0], 1);
    writeHex(text, m_key.uuid[1], 19);
    text[UuidLength - 1] = '}';
    text[UuidLength] = '_';
    writeDigits(text + StampAt, stamp(), StampLength);
    text[DateAt - 1] = '_';
    writeDigits(text + DateAt, backupDate(), 8);
    return FileIdLength;
}

bool KVersionKey::operator==(const KVersionKey& other) const
{
    if (isForeign() != other.isForeign())
        return false;
    if (isForeign())
        return m_key.text == other.m_key.text;
    return m_key.uuid[0] == other.m_key.uuid[0] && m_key.uuid[1] == other.m_key.uuid[1]
        && m_when == other.m_when;
}

bool KVersionKey::operator<(const KVersionKey& other) const
{
    if (!isForeign() && !other.isForeign())
        return std::tie(m_key.uuid[0], m_key.uuid[1], m_when)
            < std::tie(other.m_key.uuid[0], other.m_key.uuid[1], other.m_when);
    return text() < other.text();
}
