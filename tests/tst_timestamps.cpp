#include "core/ktimestamp.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

// The stamps are formatted and compared without QDateTime for speed; QDateTime is the reference.
class TestTimeStamps : public QObject
{
    Q_OBJECT

private slots:
    void fastTextsAgreeWithQDateTime_data();
    void fastTextsAgreeWithQDateTime();
    void stampNumbersOrderAsTimes();
};

void TestTimeStamps::fastTextsAgreeWithQDateTime_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("msecs");
    const QList<QByteArray> zones
        = { "UTC", "Europe/Berlin", "America/New_York", "Asia/Shanghai", "Australia/Lord_Howe" };
    const QList<QPair<const char*, qint64>> instants = {
        { "the epoch", 0 },
        { "before the epoch, in the last second of 1969", -1 },
        { "before the epoch, a fraction into a second", -1500 },
        { "a spring change of clocks in Europe", 1711846800000 }, // 2024-03-31 01:00 UTC
        { "an autumn change of clocks in Europe", 1729990800000 }, // 2024-10-27 01:00 UTC
        { "a leap day", 1709251199999 },
        { "far ahead", 4102444800000 },
    };
    for (const QByteArray& zone : zones) {
        for (const auto& instant : instants) {
            // Before 1970 Qt 5 assumes today's offsets while the C library knows history; only
            // the rounding of such instants is checked, where both agree.
            if (instant.second < 0 && zone != "UTC")
                continue;
            QTest::addRow("%s, %s", zone.constData(), instant.first) << zone << instant.second;
        }
    }
}

void TestTimeStamps::fastTextsAgreeWithQDateTime()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, msecs);
    const QByteArray previous = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    const QDateTime reference = QDateTime::fromMSecsSinceEpoch(msecs);
    QCOMPARE(KTimeStamp::formatMSecs(msecs), reference.toString(QStringLiteral("yyyyMMddhhmmss")));
    QCOMPARE(
        KTimeStamp::displayTextOfMSecs(msecs), reference.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    QCOMPARE(KTimeStamp::monthTextOfMSecs(msecs), reference.toString(QStringLiteral("yyyy年MM月")));
    QCOMPARE(KTimeStamp::numberOfMSecs(msecs), KTimeStamp::formatMSecs(msecs).toLongLong());
    QVERIFY(KTimeStamp::isDisplayText(KTimeStamp::displayTextOfMSecs(msecs)));
    if (previous.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previous);
    tzset();
}

void TestTimeStamps::stampNumbersOrderAsTimes()
{
    QCOMPARE(KTimeStamp::numberOf(u"20240105093012"), Q_INT64_C(20240105093012));
    QVERIFY(KTimeStamp::numberOf(u"20240105093012") < KTimeStamp::numberOf(u"20240105093013"));
    QVERIFY(KTimeStamp::numberOf(u"20231231235959") < KTimeStamp::numberOf(u"20240101000000"));
    for (const char16_t* invalid :
        { u"20240230000000", u"2024010509301", u"2024010509301x", u"20241301000000", u"" })
        QCOMPARE(KTimeStamp::numberOf(invalid), Q_INT64_C(-1));
    QVERIFY(!KTimeStamp::isDisplayText(u"2024-01-05 24:00:00"));
    QVERIFY(!KTimeStamp::isDisplayText(u"2024/01/05 09:30:12"));
}

QTEST_GUILESS_MAIN(TestTimeStamps)
#include "tst_timestamps.moc"
