#include "image/DateLayout.h"

#include <QtTest>

using namespace korvel::image;

using Positions = std::array<std::pair<int, int>, 3>;
Q_DECLARE_METATYPE(Positions)
Q_DECLARE_METATYPE(LabelBox)
Q_DECLARE_METATYPE(Position)
Q_DECLARE_METATYPE(CivilDate)

namespace QTest {
template <> char* toString(const Position& p) { return qstrdup(qPrintable(QString("(%1, %2)").arg(p.left).arg(p.top))); }
template <> char* toString(const CivilDate& d)
{
    return qstrdup(qPrintable(QString("%1-%2-%3").arg(d.year).arg(d.month).arg(d.day)));
}
} // namespace QTest

class DateLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void pad3_data();
    void pad3();
    void layoutParameters_data();
    void layoutParameters();
    void layoutParametersRefuseWhatWouldNotFit_data();
    void layoutParametersRefuseWhatWouldNotFit();
    void expiryOffset();
    void sizeDigits();
    void placeAfter_data();
    void placeAfter();
    void placeYears();
    void drag_data();
    void drag();
    void addDays_data();
    void addDays();
    void preview();
};

void DateLayoutTest::pad3_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("one") << "5" << "005";
    QTest::newRow("two") << "42" << "042";
    QTest::newRow("three") << "251" << "251";
    QTest::newRow("four") << "1000" << "1000";
}

void DateLayoutTest::pad3()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(QString::fromStdString(korvel::image::pad3(in.toStdString())), out);
}

void DateLayoutTest::layoutParameters_data()
{
    QTest::addColumn<bool>("solar");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("size");
    QTest::addColumn<Positions>("positions");
    QTest::addColumn<QString>("expected");
    const Positions parked{{{251, 251}, {251, 251}, {251, 251}}};
    QTest::newRow("at start") << true << 1 << 3 << parked << "013251251251251251251";
    QTest::newRow("year, month, day placed, gregorian slot 4")
        << false << 4 << 2 << Positions{{{0, 0}, {61, 0}, {118, 5}}} << "142000000061000118005";
    QTest::newRow("canvas corners") << true << 5 << 8 << Positions{{{0, 153}, {239, 0}, {239, 153}}}
                                    << "058000153239000239153";
}

void DateLayoutTest::layoutParameters()
{
    QFETCH(bool, solar);
    QFETCH(int, slot);
    QFETCH(int, size);
    QFETCH(Positions, positions);
    QFETCH(QString, expected);
    const std::string text = korvel::image::layoutParameters(solar, slot, size, positions);
    QCOMPARE(text.size(), std::size_t(21));
    QCOMPARE(QString::fromStdString(text), expected);
}

void DateLayoutTest::layoutParametersRefuseWhatWouldNotFit_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("size");
    QTest::addColumn<Positions>("positions");
    const Positions ok{{{0, 0}, {61, 0}, {118, 5}}};
    QTest::newRow("slot 0") << 0 << 3 << ok;
    QTest::newRow("slot 6") << 6 << 3 << ok;
    QTest::newRow("size 0") << 1 << 0 << ok;
    QTest::newRow("size 9") << 1 << 9 << ok;
    QTest::newRow("x -5 (would be 0-5)") << 1 << 3 << Positions{{{0, 0}, {-5, 0}, {118, 5}}};
    QTest::newRow("y 1000") << 1 << 3 << Positions{{{0, 0}, {61, 0}, {118, 1000}}};
}

void DateLayoutTest::layoutParametersRefuseWhatWouldNotFit()
{
    QFETCH(int, slot);
    QFETCH(int, size);
    QFETCH(Positions, positions);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, korvel::image::layoutParameters(true, slot, size, positions));
}

void DateLayoutTest::expiryOffset()
{
    QCOMPARE(expiryOffsetUp(kExpiryOffsetStart), 31);
    QCOMPARE(expiryOffsetDown(kExpiryOffsetStart), 29);
    QCOMPARE(expiryOffsetDown(0), 0);
    QCOMPARE(expiryOffsetUp(999), 999);
    QCOMPARE(expiryDaysParameter(0), std::string("000"));
    QCOMPARE(expiryDaysParameter(30), std::string("030"));
    QCOMPARE(expiryDaysParameter(999), std::string("999"));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, expiryDaysParameter(-1));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, expiryDaysParameter(1000));
}

void DateLayoutTest::sizeDigits()
{
    const int sizes[] = {10, 25, 37, 48, 60, 80, 100, 130};
    for (int d = 1; d <= 8; ++d)
        QCOMPARE(fontPointSize(d), sizes[d - 1]);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, fontPointSize(0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, fontPointSize(9));
    QCOMPARE(sizeDigitDown(1), 8);
    QCOMPARE(sizeDigitUp(8), 1);
    QCOMPARE(sizeDigitDown(kStartSizeDigit), 2);
    QCOMPARE(sizeDigitUp(kStartSizeDigit), 4);
}

void DateLayoutTest::placeAfter_data()
{
    QTest::addColumn<LabelBox>("preceding");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("digit");
    QTest::addColumn<Position>("expected");
    QTest::newRow("gap 24 after the year") << LabelBox{0, 0, 37, 20} << 20 << 3 << Position{61, 0};
    QTest::newRow("gap 64 with digit 8") << LabelBox{0, 10, 10, 20} << 10 << 8 << Position{74, 10};
    QTest::newRow("ends at 239: stays") << LabelBox{100, 5, 50, 20} << 65 << 3 << Position{174, 5};
    QTest::newRow("would pass 239: wraps") << LabelBox{100, 5, 50, 20} << 66 << 3 << Position{0, 5};
    QTest::newRow("after a parked year") << LabelBox{kParked.left, kParked.top, 37, 20} << 20 << 3
                                         << Position{0, 251};
}

void DateLayoutTest::placeAfter()
{
    QFETCH(LabelBox, preceding);
    QFETCH(int, width);
    QFETCH(int, digit);
    QFETCH(Position, expected);
    QCOMPARE(korvel::image::placeAfter(preceding, width, digit), expected);
}

void DateLayoutTest::placeYears()
{
    QCOMPARE(placeProductionYear(), (Position{0, 0}));
    QCOMPARE(placeExpiryYear(20), (Position{0, 134}));
    QCOMPARE(placeExpiryYear(200), (Position{0, 0}));
}

void DateLayoutTest::drag_data()
{
    QTest::addColumn<LabelBox>("label");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::addColumn<bool>("dragging");
    QTest::addColumn<Position>("expected");
    QTest::newRow("centre follows the pointer") << LabelBox{100, 50, 20, 10} << 15 << 7 << true << Position{105, 52};
    QTest::newRow("not dragging: stays") << LabelBox{100, 50, 20, 10} << 15 << 7 << false << Position{100, 50};
    QTest::newRow("past the right edge") << LabelBox{230, 50, 20, 10} << 20 << 5 << true << Position{220, 50};
    QTest::newRow("past the left edge") << LabelBox{2, 50, 20, 10} << 0 << 5 << true << Position{0, 50};
    QTest::newRow("past the top") << LabelBox{100, 1, 20, 10} << 10 << 0 << true << Position{100, 0};
    QTest::newRow("past the bottom") << LabelBox{100, 150, 20, 10} << 10 << 9 << true << Position{100, 144};
    QTest::newRow("left of the canvas, not dragging") << LabelBox{-5, -3, 20, 10} << 0 << 0 << false
                                                      << Position{0, 0};
    QTest::newRow("larger than the canvas") << LabelBox{10, 10, 300, 200} << 150 << 100 << true << Position{0, 0};
}

void DateLayoutTest::drag()
{
    QFETCH(LabelBox, label);
    QFETCH(int, px);
    QFETCH(int, py);
    QFETCH(bool, dragging);
    QFETCH(Position, expected);
    const Position p = dragLabel(label, px, py, dragging);
    QCOMPARE(p, expected);
    QCOMPARE(korvel::image::pad3(std::to_string(p.left)).size(), std::size_t(3));
    QCOMPARE(korvel::image::pad3(std::to_string(p.top)).size(), std::size_t(3));
}

void DateLayoutTest::addDays_data()
{
    QTest::addColumn<CivilDate>("from");
    QTest::addColumn<int>("days");
    QTest::addColumn<CivilDate>("to");
    QTest::newRow("same day") << CivilDate{2025, 1, 5} << 0 << CivilDate{2025, 1, 5};
    QTest::newRow("30 days") << CivilDate{2025, 1, 5} << 30 << CivilDate{2025, 2, 4};
    QTest::newRow("leap day") << CivilDate{2024, 2, 28} << 1 << CivilDate{2024, 2, 29};
    QTest::newRow("no leap day") << CivilDate{2025, 2, 28} << 1 << CivilDate{2025, 3, 1};
    QTest::newRow("into the next year") << CivilDate{2025, 12, 15} << 30 << CivilDate{2026, 1, 14};
    QTest::newRow("999 days") << CivilDate{2025, 1, 5} << 999 << CivilDate{2027, 10, 1};
}

void DateLayoutTest::addDays()
{
    QFETCH(CivilDate, from);
    QFETCH(int, days);
    QFETCH(CivilDate, to);
    QCOMPARE(korvel::image::addDays(from, days), to);
}

void DateLayoutTest::preview()
{
    QCOMPARE(datePreview({2025, 1, 5}, false), (DatePreview{"25", "1", "5"}));
    QCOMPARE(datePreview({2005, 12, 15}, false), (DatePreview{"05", "12", "15"}));
    CivilDate asked{};
    const auto toSolar = [&asked](CivilDate g) {
        asked = g;
        return CivilDate{1403, 10, 16};
    };
    QCOMPARE(datePreview({2025, 1, 5}, true, toSolar), (DatePreview{"03", "10", "16"}));
    QCOMPARE(asked, (CivilDate{2025, 1, 5}));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, datePreview({2025, 1, 5}, true));
}

QTEST_MAIN(DateLayoutTest)
#include "tst_datelayout.moc"
