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

qint32 dateNumber(QStringView text)
{
    const QDate date = KTimeStamp::parseDate(text);
    return date.isValid() ? date.year() * 10000 + date.month() * 100 + date.day() : -1;
}

void appendDigits(char* out, qint64 value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
}

} // namespace

KVersionId::KVersionId(const QString& fileId)
{
    const QStringView view(fileId);
    if (view.size() >= StampAt + StampLength)
        m_stamp = KTimeStamp::numberOf(view.mid(StampAt, StampLength));
    if (view.size() >= 8)
        m_date = dateNumber(view.right(8));

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
    QByteArray ascii;
    appendText(&ascii);
    return QString::fromLatin1(ascii);
}

void KVersionId::appendText(QByteArray* out) const
{
    if (!isCompact()) {
        out->append(m_text.toUtf8());
        return;
    }
    static const char hex[] = "0123456789abcdef";
    char text[FileIdLength];
    text[0] = '{';
    int digit = 0;
    for (int i = 1; i < UuidLength - 1; ++i) {
        if (isDash(i)) {
            text[i] = '-';
            continue;
        }
        const quint64 half = digit < 16 ? m_high : m_low;
        text[i] = hex[(half >> (4 * (15 - digit % 16))) & 0xF];
        ++digit;
    }
    text[UuidLength - 1] = '}';
    text[UuidLength] = '_';
    appendDigits(text + StampAt, m_stamp, StampLength);
    text[DateAt - 1] = '_';
    appendDigits(text + DateAt, m_date, 8);
    out->append(text, FileIdLength);
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
