#include "Forms.h"
#include "Preview.h"
#include "Stream.h"

#include <QtTest>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

using namespace korvel::text;

namespace {

std::u16string u16(const QString& s) { return s.toStdU16String(); }

TextDirection dir(const QString& name) { return directionNamed(name.toStdString()).value(); }

QString streamHex(const QString& text, TextDirection d = TextDirection::Auto)
{
    return QString::fromStdString(toHex(encodeTextStream(u16(text), d).bytes));
}

} // namespace

class StreamTest : public QObject {
    Q_OBJECT
private slots:
    void expectedStreams_data();
    void expectedStreams();
    void fontCodes_data();
    void fontCodes();
    void mapping_data();
    void mapping();
    void unprintable_data();
    void unprintable();
    void lengthLimit_data();
    void lengthLimit();
    void fontChart();
    void preview_data();
    void preview();
    void previewFormsMatchUnicode();
};

// The acceptance rows, exact bytes: the length field first, the added space last.
void StreamTest::expectedStreams_data()
{
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");

    QTest::newRow("salam") << "auto" << "سلام" << "30 30 30 35 C4 90 C3 A8 20";
    QTest::newRow("price") << "auto" << "قیمت 123" << "30 30 30 39 31 32 33 20 D9 C5 CE BC 20";
    QTest::newRow("date word, token") << "auto" << "تاریخ ^d" << "30 30 30 39 5E 64 20 A0 CE A4 90 DA 20";
    QTest::newRow("latin, word") << "auto" << "abc سلام" << "30 30 30 39 61 62 63 20 C4 90 C3 A8 20";
    QTest::newRow("brackets mirror") << "auto" << "سلام (دنیا)" << "30 30 31 32 28 90 CE C7 A2 29 20 C4 90 C3 A8 20";
    QTest::newRow("guarantee") << "auto" << "ضمانت ۱۲ ماه" << "30 30 31 33 C8 90 C5 20 31 32 20 D9 C7 90 C5 AE 20";
    QTest::newRow("question") << "auto" << "چرا؟" << "30 30 30 35 3F 90 A4 9D 20";
    QTest::newRow("latin tokens") << "auto" << "Exp ^y/^m" << "30 30 31 30 45 78 70 20 5E 79 2F 5E 6D 20";
    QTest::newRow("zoghal") << "auto" << "زغال" << "30 30 30 35 C1 90 B8 A5 20";
    QTest::newRow("lam alef") << "auto" << "لاله" << "30 30 30 35 C9 C3 90 C3 20";
    QTest::newRow("zwnj") << "auto" << "می\u200Cروم" << "30 30 30 36 C4 C8 A4 CC C5 20";
    QTest::newRow("production date") << "auto" << "تاریخ تولید: ^d/^m/^y"
                                     << "30 30 32 32 5E 64 2F 5E 6D 2F 5E 79 20 3A A2 CE C3 C8 DA 20 A0 CE A4 90 DA 20";
    QTest::newRow("rtl latin, word") << "rtl" << "abc سلام" << "30 30 30 39 C4 90 C3 A8 20 61 62 63 20";
    QTest::newRow("ltr mixed") << "ltr" << "abc سلام 123 دنیا"
                               << "30 30 31 38 61 62 63 20 90 CE C7 A2 20 31 32 33 20 C4 90 C3 A8 20";
    QTest::newRow("ltr date word, token") << "ltr" << "تاریخ ^d" << "30 30 30 39 5E 64 20 A0 CE A4 90 DA 20";

    QTest::newRow("empty") << "auto" << "" << "30 30 30 31 20";
    QTest::newRow("rtl empty") << "rtl" << "" << "30 30 30 31 20";
    QTest::newRow("two lines") << "auto" << "سلام\r\nدنیا" << "30 30 31 31 C4 90 C3 A8 0D 0A 90 CE C7 A2 20";
    QTest::newRow("each line its direction") << "auto" << "abc\r\nسلام" << "30 30 31 30 61 62 63 0D 0A C4 90 C3 A8 20";
    QTest::newRow("ltr forced on two lines") << "ltr" << "سلام\r\nab دنیا"
                                             << "30 30 31 34 C4 90 C3 A8 0D 0A 61 62 20 90 CE C7 A2 20";
    // The numbers after "Exp" take its direction, so the whole line stays one left-to-right run.
    QTest::newRow("rtl latin tokens") << "rtl" << "Exp ^y/^m" << "30 30 31 30 45 78 70 20 5E 79 2F 5E 6D 20";
    QTest::newRow("rtl latin, digits") << "rtl" << "ab 12 سلام" << "30 30 31 31 C4 90 C3 A8 20 61 62 20 31 32 20";
    QTest::newRow("leading space") << "auto" << " سلام" << "30 30 30 36 C4 90 C3 A8 20 20";
    QTest::newRow("word inside latin") << "auto" << "a سلام b" << "30 30 30 39 61 20 C4 90 C3 A8 20 62 20";
    QTest::newRow("comma after word") << "auto" << "سلام، دنیا" << "30 30 31 31 90 CE C7 A2 20 2C C4 90 C3 A8 20";
    QTest::newRow("digits first, word") << "auto" << "۱۲ سیب" << "30 30 30 37 DB CE A8 20 31 32 20";
    QTest::newRow("rtl brackets") << "auto" << "(سلام)" << "30 30 30 37 28 C4 90 C3 A8 29 20";
    QTest::newRow("ltr brackets round a word") << "auto" << "abc (سلام)" << "30 30 31 31 61 62 63 20 28 C4 90 C3 A8 29 20";
    // Tokens do not decide the direction; with "d" counted this line would run left to right.
    QTest::newRow("token first") << "auto" << "^d سلام" << "30 30 30 38 C4 90 C3 A8 20 5E 64 20";
    QTest::newRow("token joins nothing") << "auto" << "^cب" << "30 30 30 34 DB 5E 63 20";
    QTest::newRow("no strong letter") << "auto" << "123 ^c" << "30 30 30 37 31 32 33 20 5E 63 20";
    // A font token cuts the line: each side ordered on its own, the sides in logical order.
    QTest::newRow("font token mid rtl") << "auto" << "سلام ^2دنیا" << "30 30 31 32 20 C4 90 C3 A8 5E 32 90 CE C7 A2 20";
    QTest::newRow("font token first") << "auto" << "^8 سلام" << "30 30 30 38 5E 38 C4 90 C3 A8 20 20";
    QTest::newRow("font token ltr") << "auto" << "^1abc" << "30 30 30 36 5E 31 61 62 63 20";
    QTest::newRow("omr") << "auto" << "عمر" << "30 30 30 34 A4 C5 B4 20";
    QTest::newRow("omr line break") << "auto" << "عمر\r\n" << "30 30 30 36 A4 C5 B4 0D 0A 20";
    QTest::newRow("rah") << "auto" << "راه" << "30 30 30 34 C8 90 A4 20";
    QTest::newRow("rais") << "auto" << "رئیس" << "30 30 30 35 A7 CE DE A4 20";

    // A line is ordered by its characters as typed, not as folded: the editor
    // draws the typed ones, so only this keeps the print in the editor's order.
    // Bidi classes by hand: "؟" is AL, a strong right-to-left character, so the
    // line runs right to left with "abc" at its left; folded first, "?" (ON)
    // would leave "a" to decide, and it would print "? abc".
    QTest::newRow("typed question mark decides") << "auto" << "؟ abc" << "30 30 30 36 61 62 63 20 3F 20";
    // "١", "٬", "٢" are AN: the number and the Persian word after it read right
    // to left, the number at the right; folded first, "1,2" (EN CS EN) would
    // follow "abc" left to right: 61 62 63 20 31 2C 32 20 C4 90 C3 A8.
    QTest::newRow("typed arabic number") << "auto" << "abc ١٬٢ سلام"
                                         << "30 30 31 33 61 62 63 20 C4 90 C3 A8 20 31 2C 32 20";
}

void StreamTest::expectedStreams()
{
    QFETCH(QString, direction);
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QCOMPARE(streamHex(text, dir(direction)), hex);
}

// Every code of the font tables, written out by hand: a doubled letter shows
// its end (final) code then its joining (initial) code, left to right.
void StreamTest::fontCodes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");

    QTest::newRow("beh") << "بب" << "30 30 30 33 DB DC 20";
    QTest::newRow("peh") << "پپ" << "30 30 30 33 DF E0 20";
    QTest::newRow("teh") << "تت" << "30 30 30 33 D9 DA 20";
    QTest::newRow("theh") << "ثث" << "30 30 30 33 D7 D8 20";
    QTest::newRow("jeem") << "جج" << "30 30 30 33 D5 D4 20";
    QTest::newRow("tcheh") << "چچ" << "30 30 30 33 D6 9D 20";
    QTest::newRow("hah") << "حح" << "30 30 30 33 D3 D2 20";
    QTest::newRow("khah") << "خخ" << "30 30 30 33 A0 A1 20";
    QTest::newRow("seen") << "سس" << "30 30 30 33 A7 A8 20";
    QTest::newRow("sheen") << "شش" << "30 30 30 33 A9 AA 20";
    QTest::newRow("sad") << "صص" << "30 30 30 33 AB AC 20";
    QTest::newRow("dad") << "ضض" << "30 30 30 33 AD AE 20";
    QTest::newRow("feh") << "فف" << "30 30 30 33 B9 BA 20";
    QTest::newRow("qaf") << "قق" << "30 30 30 33 BB BC 20";
    QTest::newRow("keheh") << "کک" << "30 30 30 33 BD BE 20";
    QTest::newRow("gaf") << "گگ" << "30 30 30 33 BF C0 20";
    QTest::newRow("lam") << "لل" << "30 30 30 33 C1 C3 20";
    QTest::newRow("meem") << "مم" << "30 30 30 33 C4 C5 20";
    QTest::newRow("noon") << "نن" << "30 30 30 33 C6 C7 20";
    QTest::newRow("farsi yeh") << "یی" << "30 30 30 33 CC CE 20";
    QTest::newRow("yeh with hamza") << "ئئ" << "30 30 30 33 DD DE 20";

    QTest::newRow("alef") << "اا" << "30 30 30 33 90 90 20";
    QTest::newRow("dal") << "دد" << "30 30 30 33 A2 A2 20";
    QTest::newRow("thal") << "ذذ" << "30 30 30 33 A3 A3 20";
    QTest::newRow("reh") << "رر" << "30 30 30 33 A4 A4 20";
    QTest::newRow("zain") << "زز" << "30 30 30 33 A5 A5 20";
    QTest::newRow("jeh") << "ژژ" << "30 30 30 33 A6 A6 20";
    QTest::newRow("tah joins, one code") << "طط" << "30 30 30 33 AF AF 20";
    QTest::newRow("zah joins, one code") << "ظظ" << "30 30 30 33 B0 B0 20";
    QTest::newRow("waw") << "وو" << "30 30 30 33 C8 C8 20";

    // Three in a row: final, medial, initial left to right; alone: isolated.
    QTest::newRow("ain") << "ععع ع" << "30 30 30 36 B1 20 B2 B3 B4 20";
    QTest::newRow("ghain") << "غغغ غ" << "30 30 30 36 B5 20 B6 B7 B8 20";
    QTest::newRow("heh") << "ههه ه" << "30 30 30 36 C8 20 C9 CA CB 20";
}

void StreamTest::fontCodes()
{
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QCOMPARE(streamHex(text), hex);
}

// Character folding, joining controls and letter forms, seen on the wire.
void StreamTest::mapping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");

    QTest::newRow("zwnj between dual letters") << "ب\u200Cب" << "30 30 30 33 DB DB 20";
    QTest::newRow("zwj joins") << "ب\u200Dب" << "30 30 30 33 DB DC 20";
    QTest::newRow("zwj before a letter") << "\u200Dب" << "30 30 30 32 DB 20";
    QTest::newRow("zwj after a letter") << "ع\u200D" << "30 30 30 32 B4 20";
    // Format characters other than ZWNJ are transparent to joining, and never sent.
    QTest::newRow("rlm between letters joins") << "ب\u200Fب" << "30 30 30 33 DB DC 20";
    QTest::newRow("soft hyphen joins") << "ع\u00ADع" << "30 30 30 33 B2 B4 20";
    QTest::newRow("bom and rlm not sent") << "\uFEFFسلام\u200F" << "30 30 30 35 C4 90 C3 A8 20";
    QTest::newRow("zwnj after space not sent") << "abc \u200Cسلام" << "30 30 30 39 61 62 63 20 C4 90 C3 A8 20";

    QTest::newRow("persian digits") << "۱۲۳" << "30 30 30 34 31 32 33 20";
    QTest::newRow("arabic-indic digits") << "٤٥" << "30 30 30 33 34 35 20";
    QTest::newRow("persian digits after word") << "قیمت ۱۲۳" << "30 30 30 39 31 32 33 20 D9 C5 CE BC 20";

    QTest::newRow("arabic yeh") << "علي" << "30 30 30 34 CC C3 B4 20";
    QTest::newRow("alef maksura") << "ى" << "30 30 30 32 CC 20";
    QTest::newRow("arabic kaf") << "كتاب" << "30 30 30 35 DB 90 DA BE 20";
    QTest::newRow("alef with madda") << "آب" << "30 30 30 33 DB 90 20";
    QTest::newRow("alef variants") << "أإٱ" << "30 30 30 34 90 90 90 20";
    QTest::newRow("waw with hamza") << "ؤ" << "30 30 30 32 C8 20";
    QTest::newRow("teh marbuta joins as heh") << "سة" << "30 30 30 33 C9 A8 20";
    QTest::newRow("heh with yeh above") << "خانۀ" << "30 30 30 35 C9 C7 90 A1 20";

    QTest::newRow("semicolon") << "؛" << "30 30 30 32 3B 20";
    QTest::newRow("percent") << "۵۰٪" << "30 30 30 34 35 30 25 20";
    QTest::newRow("guillemets") << "«سلام»" << "30 30 30 37 22 C4 90 C3 A8 22 20";
    QTest::newRow("decimal separator") << "۳٫۵" << "30 30 30 34 33 2E 35 20";
    QTest::newRow("thousands separator") << "۱٬۰۰۰" << "30 30 30 36 31 2C 30 30 30 20";
    QTest::newRow("dashes") << "a–b—c" << "30 30 30 36 61 2D 62 2D 63 20";
    QTest::newRow("curly quotes") << "“a” ‘b’" << "30 30 30 38 22 61 22 20 27 62 27 20";
    QTest::newRow("ellipsis") << "a…" << "30 30 30 35 61 2E 2E 2E 20";
    QTest::newRow("times") << "2×3" << "30 30 30 34 32 78 33 20";
    QTest::newRow("no-break space") << "a\u00A0b" << "30 30 30 34 61 20 62 20";
    QTest::newRow("line separator") << "a\u2028b" << "30 30 30 35 61 0D 0A 62 20";
    QTest::newRow("paragraph separator") << "سلام\u2029دنیا" << "30 30 31 31 C4 90 C3 A8 0D 0A 90 CE C7 A2 20";
    QTest::newRow("lone line feed") << "a\nb" << "30 30 30 35 61 0D 0A 62 20";

    QTest::newRow("fatha transparent") << "سَلام" << "30 30 30 35 C4 90 C3 A8 20";
    QTest::newRow("tatweel dropped") << "بـ" << "30 30 30 32 DB 20";
    QTest::newRow("superscript alef dropped") << "هٰذا" << "30 30 30 34 90 A3 CB 20";
    QTest::newRow("ain medial") << "بعد" << "30 30 30 34 A2 B3 DC 20";
    QTest::newRow("ain final") << "بع" << "30 30 30 33 B2 DC 20";
    QTest::newRow("heh final") << "به" << "30 30 30 33 C9 DC 20";
    QTest::newRow("tah joins after") << "طب" << "30 30 30 33 DB AF 20";
}

void StreamTest::mapping()
{
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QCOMPARE(streamHex(text), hex);
}

void StreamTest::unprintable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<uint>>("expected");

    QTest::newRow("chinese") << "سلام 你好你" << QList<uint>{0x4F60, 0x597D};
    QTest::newRow("emoji is one character") << "a\U0001F600" << QList<uint>{0x1F600};
    QTest::newRow("unpaired surrogate") << QString(QChar(0xD800)) + "a" << QList<uint>{0xD800};
    QTest::newRow("nul") << QString(QChar(0)) << QList<uint>{0};
    QTest::newRow("hamza") << "ء" << QList<uint>{0x0621};
    QTest::newRow("latin-1") << "café" << QList<uint>{0xE9};
    QTest::newRow("U+03E7") << "\u03E7" << QList<uint>{0x03E7};
}

void StreamTest::unprintable()
{
    QFETCH(QString, text);
    QFETCH(QList<uint>, expected);
    const TextStream s = encodeTextStream(u16(text));
    QList<uint> got;
    for (char32_t c : s.unprintable)
        got.append(uint(c));
    QCOMPARE(got, expected);
    QVERIFY(!s.sendable());
    QVERIFY(s.bytes.empty());
    QVERIFY(s.codes.find(kNoCode) != std::string::npos);
}

void StreamTest::lengthLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("tooLong");

    QTest::newRow("999 chars, no fill past four digits") << QString(999, 'a') << QByteArray("1000") << false;
    QTest::newRow("5000 codes") << QString(4999, 'a') << QByteArray("5000") << false;
    QTest::newRow("5001 codes") << QString(5000, 'a') << QByteArray() << true;
    // Join breaks and diacritics send nothing, so they do not count.
    QTest::newRow("5000 codes plus dropped marks")
        << QString(4999, 'a') + QString(100, QChar(0x200C)) + QString(100, QChar(0x064E)) << QByteArray("5000") << false;
    QTest::newRow("persian 5001 codes") << QString(5000, QChar(0x0628)) << QByteArray() << true;
}

void StreamTest::lengthLimit()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QFETCH(bool, tooLong);

    const TextStream s = encodeTextStream(u16(text));
    QCOMPARE(s.tooLong, tooLong);
    QCOMPARE(s.sendable(), !tooLong);
    if (tooLong) {
        QVERIFY(s.bytes.empty());
        QCOMPARE(s.codeCount, std::size_t(5001));
        return;
    }
    QCOMPARE(QByteArray::fromStdString(s.bytes.substr(0, 4)), field);
    QCOMPARE(s.bytes.size() - 4, s.codeCount);
    QCOMPARE(QByteArray::fromStdString(s.bytes.substr(0, 4)).toULongLong(), qulonglong(s.codeCount));
    QCOMPARE(s.bytes.back(), ' ');
}

// The chart: each code 0x80 .. 0xFF once, right after its own hex value.
void StreamTest::fontChart()
{
    const std::string chart = fontChartCodes();
    QCOMPARE(chart.substr(0, 10), std::string("80=\x80 81=\x81 "));
    QVERIFY(chart.find("\r\n88=\x88 ") != std::string::npos);
    QCOMPARE(chart.substr(chart.size() - 4), std::string("FF=\xFF"));
    for (int code = 0x80; code <= 0xFF; ++code) {
        const std::string entry = QByteArray::number(code, 16).toUpper().toStdString() + "=" + char(code);
        QCOMPARE(std::count(chart.begin(), chart.end(), char(code)), std::ptrdiff_t(1));
        QVERIFY(chart.find(entry) != std::string::npos);
    }
    QCOMPARE(std::count(chart.begin(), chart.end(), '\n'), std::ptrdiff_t(15));
    const std::string bytes = rawStream(chart);
    QCOMPARE(QByteArray::fromStdString(bytes.substr(0, 4)).toInt(), int(chart.size() + 1));
    QCOMPARE(bytes.back(), ' ');
}

void StreamTest::preview_data()
{
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QStringList>("lines"); // "<" left aligned, ">" right aligned, then the line
    QTest::addColumn<QString>("shared");    // '1' under a code that names two letters

    QTest::newRow("salam") << "auto" << "سلام" << false << QStringList{">\uFEE1\uFE8E\uFEE0\uFEB3"} << "0000";
    QTest::newRow("isolated heh marked") << "auto" << "راه" << false << QStringList{">\uFEE9\uFE8D\uFEAD"} << "100";
    QTest::newRow("waw marked") << "auto" << "رو" << false << QStringList{">\uFEED\uFEAD"} << "10";
    QTest::newRow("final heh not marked") << "auto" << "به" << false << QStringList{">\uFEEA\uFE91"} << "00";
    QTest::newRow("lines keep their sides") << "auto" << "ab\r\nسلام" << false
                                            << QStringList{"<ab", ">\uFEE1\uFE8E\uFEE0\uFEB3"} << "000000";
    QTest::newRow("forced rtl latin") << "rtl" << "ab" << false << QStringList{">ab"} << "00";
    QTest::newRow("tokens filled") << "auto" << "تاریخ ^d ^c" << true
                                   << QStringList{">0000 15 \uFEA6\uFBFE\uFEAD\uFE8E\uFE97"} << QString(13, '0');
    QTest::newRow("font token kept") << "auto" << "^2ab" << true << QStringList{"<^2ab"} << "0000";
    QTest::newRow("unprintable marked") << "auto" << "a你b" << false << QStringList{"<a\uFFFDb"} << "000";
}

void StreamTest::preview()
{
    QFETCH(QString, direction);
    QFETCH(QString, text);
    QFETCH(bool, filled);
    QFETCH(QStringList, lines);
    QFETCH(QString, shared);
    const TextStream s = encodeTextStream(u16(text), dir(direction));
    auto fill = [](char16_t token) -> std::u16string {
        return token == u'd' ? u"15" : token == u'c' ? u"0000" : u"";
    };
    const auto got = filled ? previewLines(s, fill) : previewLines(s);
    QStringList gotLines;
    QString gotShared;
    for (const PreviewLine& l : got) {
        gotLines << QString(l.rightToLeft ? '>' : '<') + QString::fromStdU16String(l.shown);
        QCOMPARE(l.shared.size(), l.shown.size());
        for (bool b : l.shared)
            gotShared += b ? '1' : '0';
    }
    QCOMPARE(gotLines, lines);
    QCOMPARE(gotShared, shared);
}

// Every form the preview draws is the presentation form of the right letter,
// by Unicode's character names and compatibility decompositions.
void StreamTest::previewFormsMatchUnicode()
{
    UErrorCode err = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(err);
    QVERIFY(U_SUCCESS(err));

    auto check = [&](char16_t letter, Form form, const char* name) {
        const char16_t shown = presentationForm(letter, form);
        icu::UnicodeString decomposed;
        nfkc->normalize(icu::UnicodeString(UChar(shown)), decomposed, err);
        QVERIFY(U_SUCCESS(err));
        const QString tag = QStringLiteral("U+%1 as %2").arg(uint(letter), 4, 16).arg(name);
        QVERIFY2(decomposed == icu::UnicodeString(UChar(letter)), qPrintable(tag));
        char charName[128];
        u_charName(shown, U_UNICODE_CHAR_NAME, charName, sizeof charName, &err);
        QVERIFY(U_SUCCESS(err));
        QVERIFY2(QByteArray(charName).endsWith(QByteArray(name) + " FORM"), qPrintable(tag + " got " + charName));
    };
    std::vector<char16_t> dual, right;
    for (const auto& e : kTwoFormLetters)
        dual.push_back(e.letter);
    for (const auto& e : kFourFormLetters)
        dual.push_back(e.letter);
    for (char16_t c : {u'\u0637', u'\u0638'})
        dual.push_back(c);
    for (char16_t c : {u'\u0627', u'\u062F', u'\u0630', u'\u0631', u'\u0632', u'\u0698', u'\u0648'})
        right.push_back(c);
    for (char16_t c : dual) {
        check(c, Form::Isolated, "ISOLATED");
        check(c, Form::Final, "FINAL");
        check(c, Form::Initial, "INITIAL");
        check(c, Form::Medial, "MEDIAL");
    }
    for (char16_t c : right) {
        check(c, Form::Isolated, "ISOLATED");
        check(c, Form::Final, "FINAL");
    }
}

QTEST_APPLESS_MAIN(StreamTest)
#include "tst_stream.moc"
