#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>

// The compact local date-time texts of backup names: "yyyyMMddhhmmss" and "yyyyMMdd".
// Parsing is done by hand: these texts are read far more often than Qt's general parser
// could afford.
namespace KTimeStamp {

QString format(const QDateTime& time); // "yyyyMMddhhmmss"
// The same texts for an instant in milliseconds since the epoch, in local time, without
// going through QDateTime.
QString formatMSecs(qint64 msecs); // "yyyyMMddhhmmss"
QString displayTextOfMSecs(qint64 msecs); // "yyyy-MM-dd hh:mm:ss"
QString monthTextOfMSecs(qint64 msecs); // "yyyy年MM月"
// Today's date as "yyyyMMdd". (QDate::currentDate() re-reads the time zone on every call,
// which backing up many files would pay for each file.)
QString todayText();
QString formatDate(const QDate& date); // "yyyyMMdd"

// A valid "yyyyMMddhhmmss" text: fourteen digits naming an existing date and time of day.
bool isValid(QStringView stamp);
// The local date-time of a stamp; a null date-time when the text is not valid.
QDateTime parse(QStringView stamp);
// The date of a "yyyyMMdd" text; a null date when it is not valid.
QDate parseDate(QStringView text);
// A valid stamp as the number yyyyMMddhhmmss, which orders as the time; -1 for an invalid one.
qint64 numberOf(QStringView stamp);
// A date yyyyMMdd as that number; -1 when it is not one.
int dateNumberOf(QStringView text);
// The number of the local time of an instant in milliseconds since the epoch.
qint64 numberOfMSecs(qint64 msecs);

// Whether `text` is a valid "yyyy-MM-dd hh:mm:ss", the form lists show times in. Such texts
// order as the times they name.
bool isDisplayText(QStringView text);
// A valid stamp as "yyyy-MM-dd hh:mm:ss"; empty for an invalid one.
QString toDisplayText(QStringView stamp);

} // namespace KTimeStamp
