#include "core/ktimestamp.h"

#include "platform/klocaltime.h"
#include "platform/kplatform.h"

namespace {

bool readNumber(QStringView text, int from, int length, int* value)
{
    int number = 0;
    for (int i = from; i < from + length; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        number = number * 10 + (c.unicode() - '0');
    }
    *value = number;
    return true;
}

// The date's yyyyMMdd as a number, checked without making a QDate (FileIDs are read by the
// hundred thousand); -1 when it is no valid date.
int dateNumber(QStringView text)
{
    int year = 0;
    int month = 0;
    int day = 0;
    if (text.size() < 8 || !readNumber(text, 0, 4, &year) || !readNumber(text, 4, 2, &month)
        || !readNumber(text, 6, 2, &day) || !QDate::isValid(year, month, day)) {
        return -1;
    }
    return (year * 100 + month) * 100 + day;
}

int timeNumber(QStringView text)
{
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!readNumber(text, 8, 2, &hour) || !readNumber(text, 10, 2, &minute)
        || !readNumber(text, 12, 2, &second) || !QTime::isValid(hour, minute, second)) {
        return -1;
    }
    return (hour * 100 + minute) * 100 + second;
}

bool readDate(QStringView text, QDate* date)
{
    const int number = dateNumber(text);
    if (number < 0)
        return false;
    *date = QDate(number / 10000, number / 100 % 100, number % 100);
    return true;
}

bool readTime(QStringView text, QTime* time)
{
    const int number = timeNumber(text);
    if (number < 0)
        return false;
    *time = QTime(number / 10000, number / 100 % 100, number % 100);
    return true;
}

void appendDigits(QString* text, int value, int width)
{
    QChar digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    text->append(digits, width);
}

// The local time of `msecs` as text: its fields from the year down to `last` (0 year ... 5
// second), each preceded by its separator in `separators` (a null character for none).
QString localText(qint64 msecs, int last, const QChar (&separators)[6], QChar after = QChar())
{
    const KLocalTime local = KLocalTime::fromMSecsSinceEpoch(msecs);
    const int fields[6] = { local.year, local.month, local.day, local.hour, local.minute, local.second };
    QString text;
    text.reserve(20);
    for (int i = 0; i <= last; ++i) {
        if (!separators[i].isNull())
            text.append(separators[i]);
        appendDigits(&text, fields[i], i == 0 ? 4 : 2);
    }
    if (!after.isNull())
        text.append(after);
    return text;
}

constexpr QChar Compact[6] = {};

} // namespace

namespace KTimeStamp {

qint64 numberOf(QStringView stamp)
{
    if (stamp.size() != 14)
        return -1;
    const int date = dateNumber(stamp);
    const int time = date < 0 ? -1 : timeNumber(stamp);
    return time < 0 ? -1 : qint64(date) * 1000000 + time;
}

int dateNumberOf(QStringView text)
{
    return text.size() == 8 ? dateNumber(text) : -1;
}

qint64 numberOfMSecs(qint64 msecs)
{
    const KLocalTime local = KLocalTime::fromMSecsSinceEpoch(msecs);
    return ((((qint64(local.year) * 100 + local.month) * 100 + local.day) * 100 + local.hour) * 100
               + local.minute)
        * 100
        + local.second;
}

QString formatMSecs(qint64 msecs)
{
    return localText(msecs, 5, Compact);
}

QString todayText()
{
    return localText(KPlatform::instance()->currentMSecsSinceEpoch(), 2, Compact);
}

QString displayTextOfMSecs(qint64 msecs)
{
    static const QChar separators[6] = { QChar(), QLatin1Char('-'), QLatin1Char('-'), QLatin1Char(' '),
        QLatin1Char(':'), QLatin1Char(':') };
    return localText(msecs, 5, separators);
}

QString monthTextOfMSecs(qint64 msecs)
{
    static const QChar separators[6] = { QChar(), QChar(0x5E74) }; // 年, then 月 after the month
    return localText(msecs, 1, separators, QChar(0x6708));
}

QString format(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyyMMddhhmmss"));
}

QString formatDate(const QDate& date)
{
    return date.toString(QStringLiteral("yyyyMMdd"));
}

bool isValid(QStringView stamp)
{
    return numberOf(stamp) >= 0;
}

QDateTime parse(QStringView stamp)
{
    QDate date;
    QTime time;
    if (stamp.size() != 14 || !readDate(stamp, &date) || !readTime(stamp, &time))
        return QDateTime();
    return QDateTime(date, time);
}

QDate parseDate(QStringView text)
{
    QDate date;
    if (text.size() != 8 || !readDate(text, &date))
        return QDate();
    return date;
}

bool isDisplayText(QStringView text)
{
    if (text.size() != 19 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-')
        || text.at(10) != QLatin1Char(' ') || text.at(13) != QLatin1Char(':')
        || text.at(16) != QLatin1Char(':')) {
        return false;
    }
    const QChar digits[14] = { text[0], text[1], text[2], text[3], text[5], text[6], text[8], text[9],
        text[11], text[12], text[14], text[15], text[17], text[18] };
    return isValid(QStringView(digits, 14));
}

QString toDisplayText(QStringView stamp)
{
    if (!isValid(stamp))
        return QString();
    QString text;
    text.reserve(19);
    const auto part = [&](int from, int length, char after) {
        text.append(stamp.data() + from, length);
        if (after)
            text.append(QLatin1Char(after));
    };
    part(0, 4, '-');
    part(4, 2, '-');
    part(6, 2, ' ');
    part(8, 2, ':');
    part(10, 2, ':');
    part(12, 2, 0);
    return text;
}

} // namespace KTimeStamp
