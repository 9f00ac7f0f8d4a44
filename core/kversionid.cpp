#include "core/kversionid.h"

#include "core/ktimestamp.h"

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

} // namespace

KVersionId::KVersionId(const QString& fileId)
{
    const QStringView view(fileId);
    if (view.size() >= StampAt + StampLength)
        m_stamp = KTimeStamp::numberOf(view.mid(StampAt, StampLength));
    if (view.size() >= 8)
        m_date = KTimeStamp::dateNumberOf(view.right(8));

    bool compact = view.size() == FileIdLength && view.at(0) == QLatin1Char('{')
        && view.at(UuidLength - 1) == QLatin1Char('}') && view.at(UuidLength) == QLatin1Char('_')
        && view.at(DateAt - 1) == QLatin1Char('_') && m_stamp >= 0 && m_date >= 0;
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
        m_high = digits[0];
        m_low = digits[1];
    } else {
        m_text = fileId.isNull() ? QString(QLatin1String("")) : fileId;
    }
}

QString KVersionId::text() const
{
    if (!isCompact())
        return m_text;
    // Straight from the stack: a list of thousands of versions asks for every text.
    char ascii[FileIdLength];
    writeText(ascii);
    return QString::fromLatin1(ascii, FileIdLength);
}

void KVersionId::appendText(QByteArray* out) const
{
    if (!isCompact()) {
        out->append(m_text.toUtf8());
        return;
    }
    char text[FileIdLength];
    writeText(text);
    out->append(text, FileIdLength);
}

int KVersionId::writeText(char* text) const
{
    if (!isCompact())
        return -1;
    text[0] = '{';
    writeHex(text, m_high, 1);
    writeHex(text, m_low, 19);
    text[UuidLength - 1] = '}';
    text[UuidLength] = '_';
    writeDigits(text + StampAt, m_stamp, StampLength);
    text[DateAt - 1] = '_';
    writeDigits(text + DateAt, m_date, 8);
    return FileIdLength;
}

bool KVersionId::operator==(const KVersionId& other) const
{
    if (isCompact() != other.isCompact())
        return false;
    if (!isCompact())
        return m_text == other.m_text;
    return m_high == other.m_high && m_low == other.m_low && m_stamp == other.m_stamp
        && m_date == other.m_date;
}

bool KVersionId::operator<(const KVersionId& other) const
{
    if (isCompact() && other.isCompact())
        return std::tie(m_high, m_low, m_stamp, m_date)
            < std::tie(other.m_high, other.m_low, other.m_stamp, other.m_date);
    return text() < other.text();
}
