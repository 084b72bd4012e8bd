#include "Calendar.h"

#include <QtTest>

#include <memory>
#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

using namespace korvel::text;

class CalendarTest : public QObject {
    Q_OBJECT
private slots:
    void knownDates_data();
    void knownDates();
    void addDays_data();
    void addDays();
    void everyDayAgreesWithIcu();
};

void CalendarTest::knownDates_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("sy");
    QTest::addColumn<int>("sm");
    QTest::addColumn<int>("sd");

    QTest::newRow("2015-01-01") << 2015 << 1 << 1 << 1393 << 10 << 11;
    QTest::newRow("2015-03-20") << 2015 << 3 << 20 << 1393 << 12 << 29;
    QTest::newRow("2015-03-21") << 2015 << 3 << 21 << 1394 << 1 << 1;
    QTest::newRow("2015-09-22") << 2015 << 9 << 22 << 1394 << 6 << 31;
    QTest::newRow("2015-09-23") << 2015 << 9 << 23 << 1394 << 7 << 1;
    QTest::newRow("2015-12-21") << 2015 << 12 << 21 << 1394 << 9 << 30;
    QTest::newRow("2015-12-22") << 2015 << 12 << 22 << 1394 << 10 << 1;
    QTest::newRow("2016-03-19") << 2016 << 3 << 19 << 1394 << 12 << 29;
    QTest::newRow("2016-03-20") << 2016 << 3 << 20 << 1395 << 1 << 1;
    QTest::newRow("2016-12-31") << 2016 << 12 << 31 << 1395 << 10 << 11;
    QTest::newRow("2017-01-01") << 2017 << 1 << 1 << 1395 << 10 << 12;
    QTest::newRow("2017-03-20") << 2017 << 3 << 20 << 1395 << 12 << 30;
    QTest::newRow("1993-03-20 leap rule differs") << 1993 << 3 << 20 << 1371 << 12 << 29;
    QTest::newRow("1993-03-21") << 1993 << 3 << 21 << 1372 << 1 << 1;
    QTest::newRow("2029-03-19") << 2029 << 3 << 19 << 1407 << 12 << 29;
    QTest::newRow("2029-03-20 leap rule differs") << 2029 << 3 << 20 << 1408 << 1 << 1;
    QTest::newRow("2025-03-20 last day of leap year") << 2025 << 3 << 20 << 1403 << 12 << 30;
    // 1 Farvardin as the real calendar had it.
    QTest::newRow("1300 new year") << 1921 << 3 << 21 << 1300 << 1 << 1;
    QTest::newRow("1354 new year") << 1975 << 3 << 21 << 1354 << 1 << 1;
    QTest::newRow("1399 new year") << 2020 << 3 << 20 << 1399 << 1 << 1;
    QTest::newRow("1403 new year") << 2024 << 3 << 20 << 1403 << 1 << 1;
    QTest::newRow("1404 new year") << 2025 << 3 << 21 << 1404 << 1 << 1;
    QTest::newRow("1408 new year") << 2029 << 3 << 20 << 1408 << 1 << 1;
    QTest::newRow("1409 new year") << 2030 << 3 << 21 << 1409 << 1 << 1;
}

void CalendarTest::knownDates()
{
    QFETCH(int, y);
    QFETCH(int, m);
    QFETCH(int, d);
    QFETCH(int, sy);
    QFETCH(int, sm);
    QFETCH(int, sd);
    const SolarDate s = miladiToShamsi(y, m, d);
    QCOMPARE(s.year, sy);
    QCOMPARE(s.month, sm);
    QCOMPARE(s.day, sd);
}

void CalendarTest::addDays_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<int>("n");
    QTest::addColumn<QDate>("to");

    QTest::newRow("into leap day") << QDate(2024, 2, 28) << 1 << QDate(2024, 2, 29);
    QTest::newRow("1900 has no leap day") << QDate(1900, 2, 28) << 1 << QDate(1900, 3, 1);
    QTest::newRow("2000 has a leap day") << QDate(2000, 2, 28) << 1 << QDate(2000, 2, 29);
    QTest::newRow("new year") << QDate(2023, 12, 31) << 1 << QDate(2024, 1, 1);
    QTest::newRow("backwards over month end") << QDate(2025, 3, 1) << -1 << QDate(2025, 2, 28);
    QTest::newRow("thirty days ahead") << QDate(2025, 2, 15) << 30 << QDate(2025, 3, 17);
    QTest::newRow("expiry offset 999") << QDate(2025, 1, 1) << 999 << QDate(2027, 9, 27);
}

void CalendarTest::addDays()
{
    QFETCH(QDate, from);
    QFETCH(int, n);
    QFETCH(QDate, to);
    int y = from.year(), m = from.month(), d = from.day();
    korvel::text::addDays(y, m, d, n);
    QCOMPARE(QDate(y, m, d), to);
}

// ICU's Persian calendar uses the same arithmetic rule; its Gregorian
// calendar walks the days independently of our day arithmetic.
void CalendarTest::everyDayAgreesWithIcu()
{
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> greg(
        new icu::GregorianCalendar(icu::TimeZone::createTimeZone("GMT"), icu::Locale("en_US"), err));
    std::unique_ptr<icu::Calendar> persian(icu::Calendar::createInstance(
        icu::TimeZone::createTimeZone("GMT"), icu::Locale("fa_IR@calendar=persian"), err));
    QVERIFY2(U_SUCCESS(err), u_errorName(err));
    QCOMPARE(QByteArray(persian->getType()), QByteArray("persian"));

    greg->clear();
    greg->set(1900, UCAL_JANUARY, 1, 12, 0, 0);
    int y = 1900, m = 1, d = 1;
    int days = 0;
    while (true) {
        const int gy = greg->get(UCAL_YEAR, err);
        const int gm = greg->get(UCAL_MONTH, err) + 1;
        const int gd = greg->get(UCAL_DATE, err);
        if (gy > 2100)
            break;
        persian->setTime(greg->getTime(err), err);
        const int py = persian->get(UCAL_EXTENDED_YEAR, err);
        const int pm = persian->get(UCAL_MONTH, err) + 1;
        const int pd = persian->get(UCAL_DATE, err);
        QVERIFY2(U_SUCCESS(err), u_errorName(err));

        const QString at = QStringLiteral("%1-%2-%3").arg(gy).arg(gm).arg(gd);
        QVERIFY2(y == gy && m == gm && d == gd, qPrintable(at + " day arithmetic"));
        const SolarDate s = miladiToShamsi(gy, gm, gd);
        if (!(s == SolarDate{py, pm, pd}))
            QFAIL(qPrintable(at + QStringLiteral(": got %1/%2/%3, ICU %4/%5/%6")
                                      .arg(s.year).arg(s.month).arg(s.day).arg(py).arg(pm).arg(pd)));

        greg->add(UCAL_DATE, 1, err);
        korvel::text::addDays(y, m, d, 1);
        ++days;
    }
    QCOMPARE(days, int(QDate(1900, 1, 1).daysTo(QDate(2100, 12, 31))) + 1);
}

QTEST_APPLESS_MAIN(CalendarTest)
#include "tst_calendar.moc"
