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

// The dashes of "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
bool isDash(int position)
{
    return position == 9 || position == 14 || position == 19 || position == 24;
}

// Two characters for each value of a byte: its decimal digits up to 99, and its hex digits.
struct Pairs
{
    char decimal[200] = {};
    char hex[512] = {};
    constexpr Pairs()
    {
        for (int i = 0; i < 100; ++i) {
            decimal[2 * i] = char('0' + i / 10);
            decimal[2 * i + 1] = char('0' + i % 10);
        }
        for (int i = 0; i < 256; ++i) {
            hex[2 * i] = "0123456789abcdef"[i >> 4];
            hex[2 * i + 1] = "0123456789abcdef"[i & 0xF];
        }
    }
};
constexpr Pairs pairs;

void writeDecimal(char* out, unsigned value) // below 100
{
    memcpy(out, pairs.decimal + 2 * value, 2);
}

// Writes `count` bytes of `half`, from its most significant byte `first` on, as hex digits.
char* writeHex(char* out, quint64 half, int first, int count)
{
    for (int byte = first; byte < first + count; ++byte, out += 2)
        memcpy(out, pairs.hex + 2 * ((half >> (8 * (7 - byte))) & 0xFF), 2);
    return out;
}

unsigned code(QChar c)
{
    return c.unicode();
}

unsigned code(char c)
{
    return uchar(c);
}

// The number of `length` decimal digits at `text`; -1 when one is no digit.
template<typename Char> int readDigits(const Char* text, int length)
{
    int number = 0;
    for (int i = 0; i < length; ++i) {
        const unsigned digit = code(text[i]) - '0';
        if (digit > 9)
            return -1;
        number = number * 10 + int(digit);
    }
    return number;
}

bool isDate(int year, int month, int day)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
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

// Reads the engine's own form straight from its characters (QChar or UTF-8 bytes); false for
// any other text, which the general reading then judges. The text's check of every FileID read
// from the database.
template<typename Char> bool readCompact(const Char* text, int size, quint64 uuid[2], quint64* when)
{
    if (size != FileIdLength || code(text[0]) != '{' || code(text[UuidLength - 1]) != '}'
        || code(text[UuidLength]) != '_' || code(text[DateAt - 1]) != '_') {
        return false;
    }
    quint64 digits[2] = { 0, 0 };
    int count = 0;
    for (int i = 1; i < UuidLength - 1; ++i) {
        const unsigned c = code(text[i]);
        if (isDash(i)) {
            if (c != '-')
                return false;
            continue;
        }
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = int(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = int(c - 'a' + 10);
        if (digit < 0)
            return false; // upper-case digits are not the engine's form
        digits[count / 16] = (digits[count / 16] << 4) | quint64(digit);
        ++count;
    }
    const Char* stamp = text + StampAt;
    const int year = readDigits(stamp, 4);
    const int month = readDigits(stamp + 4, 2);
    const int day = readDigits(stamp + 6, 2);
    const int hour = readDigits(stamp + 8, 2);
    const int minute = readDigits(stamp + 10, 2);
    const int second = readDigits(stamp + 12, 2);
    const int dateYear = readDigits(text + DateAt, 4);
    const int dateMonth = readDigits(text + DateAt + 4, 2);
    const int dateDay = readDigits(text + DateAt + 6, 2);
    if (!isDate(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0
        || second > 59 || !isDate(dateYear, dateMonth, dateDay)) {
        return false;
    }
    uuid[0] = digits[0];
    uuid[1] = digits[1];
    const qint64 date = (year * 100 + month) * 100 + day;
    *when = packStamp(date * 1000000 + (hour * 100 + minute) * 100 + second) << DateBits
        | packDate((dateYear * 100 + dateMonth) * 100 + dateDay);
    return true;
}

} // namespace

KVersionKey::KVersionKey(const QString& fileId)
{
    if (readCompact(fileId.constData(), fileId.size(), m_key.uuid, &m_when))
        return;
    // Another form keeps its text, and whichever of the times it holds where the engine's form
    // has them.
    const QStringView view(fileId);
    const qint64 stamp
        = view.size() >= StampAt + StampLength ? KTimeStamp::numberOf(view.mid(StampAt, StampLength)) : -1;
    const int date = view.size() >= 8 ? KTimeStamp::dateNumberOf(view.right(8)) : -1;
    m_when = packStamp(stamp) << DateBits | packDate(date) | ForeignBit;
    new (&m_key.text) QString(fileId.isNull() ? QString(QLatin1String("")) : fileId);
}

KVersionKey KVersionKey::fromUtf8(const char* text, int length)
{
    KVersionKey key;
    if (!readCompact(text, length, key.m_key.uuid, &key.m_when))
        key = KVersionKey(QString::fromUtf8(text, length));
    return key;
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
    char* out = text;
    *out++ = '{';
    out = writeHex(out, m_key.uuid[0], 0, 4);
    *out++ = '-';
    out = writeHex(out, m_key.uuid[0], 4, 2);
    *out++ = '-';
    out = writeHex(out, m_key.uuid[0], 6, 2);
    *out++ = '-';
    out = writeHex(out, m_key.uuid[1], 0, 2);
    *out++ = '-';
    out = writeHex(out, m_key.uuid[1], 2, 6);
    *out++ = '}';
    *out++ = '_';
    // Straight from the packed fields, two digits at a time.
    const quint64 stamp = (m_when & ~ForeignBit) >> DateBits;
    const unsigned year = unsigned(stamp >> 26);
    writeDecimal(out, year / 100);
    writeDecimal(out + 2, year % 100);
    writeDecimal(out + 4, unsigned(stamp >> 22 & 0xF));
    writeDecimal(out + 6, unsigned(stamp >> 17 & 0x1F));
    writeDecimal(out + 8, unsigned(stamp >> 12 & 0x1F));
    writeDecimal(out + 10, unsigned(stamp >> 6 & 0x3F));
    writeDecimal(out + 12, unsigned(stamp & 0x3F));
    out += StampLength;
    *out++ = '_';
    const quint64 date = m_when & DateMask;
    writeDecimal(out, unsigned(date >> 9) / 100);
    writeDecimal(out + 2, unsigned(date >> 9) % 100);
    writeDecimal(out + 4, unsigned(date >> 5 & 0xF));
    writeDecimal(out + 6, unsigned(date & 0x1F));
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
