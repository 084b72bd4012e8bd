#include "Forms.h"
#include "Prepare.h"
#include "Preview.h"
#include "Stream.h"

#include <QtTest>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

using namespace korvel::text;

namespace {

std::u16string u16(const QString& s) { return s.toStdU16String(); }

QString streamHex(const QString& text)
{
    return QString::fromStdString(toHex(encodeTextStream(u16(text)).bytes));
}

} // namespace

class StreamTest : public QObject {
    Q_OBJECT
private slots:
    void expectedStreams_data();
    void expectedStreams();
    void mapping_data();
    void mapping();
    void preparation_data();
    void preparation();
    void unprintable_data();
    void unprintable();
    void lengthLimit_data();
    void lengthLimit();
    void joiningClassesMatchUnicode();
    void preview_data();
    void preview();
    void previewFormsMatchUnicode();
};

// Rows of the acceptance table, exact bytes.
void StreamTest::expectedStreams_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");

    QTest::newRow("empty") << "" << "30 30 30 31 20";
    QTest::newRow("latin with tokens") << "Exp ^y/^m" << "30 30 31 30 45 78 70 20 5E 79 2F 5E 6D 20";
    QTest::newRow("salam") << "سلام" << "30 30 30 35 C4 90 C3 A8 20";
    QTest::newRow("leading space") << " سلام" << "30 30 30 36 20 C4 90 C3 A8 20";
    QTest::newRow("word then token") << "تاریخ ^d" << "30 30 30 39 A0 CE A4 90 DA 20 5E 64 20";
    QTest::newRow("latin then word") << "abc سلام" << "30 30 30 39 61 62 63 20 C4 90 C3 A8 20";
    QTest::newRow("word then digits") << "قیمت 123" << "30 30 30 39 D9 C5 CE BC 20 31 32 33 20";
    QTest::newRow("two lines") << "سلام\r\nدنیا" << "30 30 31 31 C4 90 C3 A8 0D 0A 90 CE C7 A2 20";
    QTest::newRow("omr") << "عمر" << "30 30 30 34 A4 C5 B4 20";
    QTest::newRow("omr line break") << "عمر\r\n" << "30 30 30 36 A4 C5 B4 0D 0A 20";
    QTest::newRow("zoghal") << "زغال" << "30 30 30 35 C1 90 B8 A5 20";
    QTest::newRow("rah") << "راه" << "30 30 30 34 C8 90 A4 20";
    QTest::newRow("rais") << "رئیس" << "30 30 30 35 A7 CE DE A4 20";
}

void StreamTest::expectedStreams()
{
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QCOMPARE(streamHex(text), hex);
}

// Character folding, join breaks and letter forms, seen on the wire.
void StreamTest::mapping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");

    // ی would take its joining form 0xCE if the ZWNJ were ignored.
    QTest::newRow("zwnj breaks joining") << "می\u200Cروم" << "30 30 30 36 C4 C8 A4 CC C5 20";
    QTest::newRow("zwnj between dual letters") << "ب\u200Cب" << "30 30 30 33 DB DB 20";
    QTest::newRow("no zwnj joins") << "بب" << "30 30 30 33 DB DC 20";
    QTest::newRow("zwj breaks too") << "ب\u200Dب" << "30 30 30 33 DB DB 20";
    QTest::newRow("bom and rlm not sent") << "\uFEFFسلام\u200F" << "30 30 30 35 C4 90 C3 A8 20";
    QTest::newRow("zwnj at stretch edge keeps space") << "abc \u200Cسلام" << "30 30 30 39 61 62 63 20 C4 90 C3 A8 20";

    QTest::newRow("persian digits") << "۱۲۳" << "30 30 30 34 31 32 33 20";
    QTest::newRow("arabic-indic digits") << "٤٥" << "30 30 30 33 34 35 20";
    QTest::newRow("persian digits after word") << "قیمت ۱۲۳" << "30 30 30 39 D9 C5 CE BC 20 31 32 33 20";
    QTest::newRow("digits before word") << "۱۲ سیب" << "30 30 30 37 31 32 20 DB CE A8 20";

    QTest::newRow("arabic yeh") << "علي" << "30 30 30 34 CC C3 B4 20";
    QTest::newRow("alef maksura") << "ى" << "30 30 30 32 CC 20";
    QTest::newRow("arabic kaf") << "كتاب" << "30 30 30 35 DB 90 DA BE 20";
    QTest::newRow("alef with madda") << "آب" << "30 30 30 33 DB 90 20";
    QTest::newRow("alef variants") << "أإٱ" << "30 30 30 34 90 90 90 20";
    QTest::newRow("waw with hamza") << "ؤ" << "30 30 30 32 C8 20";
    QTest::newRow("teh marbuta joins as heh") << "سة" << "30 30 30 33 C9 A8 20";
    QTest::newRow("heh with yeh above") << "خانۀ" << "30 30 30 35 C9 C7 90 A1 20";

    // Persian punctuation becomes ASCII and so ends the stretch.
    QTest::newRow("arabic comma") << "سلام، دنیا" << "30 30 31 31 C4 90 C3 A8 2C 20 90 CE C7 A2 20";
    QTest::newRow("question mark") << "چرا؟" << "30 30 30 35 90 A4 9D 3F 20";
    QTest::newRow("semicolon") << "؛" << "30 30 30 32 3B 20";
    QTest::newRow("percent") << "۵۰٪" << "30 30 30 34 35 30 25 20";

    QTest::newRow("fatha dropped, joining kept") << "سَلام" << "30 30 30 35 C4 90 C3 A8 20";
    QTest::newRow("tatweel dropped") << "بـ" << "30 30 30 32 DB 20";
    QTest::newRow("superscript alef dropped") << "هٰذا" << "30 30 30 34 90 A3 CB 20";

    QTest::newRow("ain medial") << "بعد" << "30 30 30 34 A2 B3 DC 20";
    QTest::newRow("ain final") << "بع" << "30 30 30 33 B2 DC 20";
    QTest::newRow("ain isolated") << "ع" << "30 30 30 32 B1 20";
    QTest::newRow("heh final") << "به" << "30 30 30 33 C9 DC 20";
    QTest::newRow("yeh hamza alone") << "ئ" << "30 30 30 32 DD 20";
    QTest::newRow("tah joins after") << "طب" << "30 30 30 33 DB AF 20";
    QTest::newRow("token letter joins nothing") << "^cب" << "30 30 30 34 5E 63 DB 20";
    QTest::newRow("word inside latin") << "a سلام b" << "30 30 30 39 61 20 C4 90 C3 A8 20 62 20";
}

void StreamTest::mapping()
{
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QCOMPARE(streamHex(text), hex);
}

void StreamTest::preparation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prepared");

    QTest::newRow("latin unchanged") << "Exp ^y/^m 12" << "Exp ^y/^m 12";
    QTest::newRow("space before stretch stays") << "abc سلام" << "abc مالس";
    QTest::newRow("space after stretch stays") << "سلام abc" << "مالس abc";
    QTest::newRow("edge spaces stay") << "  سلام  " << "  مالس  ";
    QTest::newRow("inner spaces reversed") << "سلام  دنیا" << "ایند  مالس";
    QTest::newRow("lines keep order") << "سلام\r\nدنیا" << "مالس\r\nایند";
    QTest::newRow("token stays in place") << "تاریخ ^d" << "خیرات ^d";
    QTest::newRow("two stretches around latin") << "آب x نام" << "بآ x مان";
    QTest::newRow("U+03E7 keeps its place") << "س\u03E7ب" << "س\u03E7ب";
    QTest::newRow("surrogate pair stays whole") << "س\U0001F600" << "\U0001F600س";
}

void StreamTest::preparation()
{
    QFETCH(QString, text);
    QFETCH(QString, prepared);
    QCOMPARE(QString::fromStdU16String(memoset(u16(text))), prepared);
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

// The font's letters must join as Unicode says they do.
void StreamTest::joiningClassesMatchUnicode()
{
    auto unicodeClass = [](char16_t c) {
        switch (u_getIntPropertyValue(c, UCHAR_JOINING_TYPE)) {
        case U_JT_DUAL_JOINING:
            return Joining::Dual;
        case U_JT_RIGHT_JOINING:
            return Joining::Right;
        default:
            return Joining::None;
        }
    };
    std::vector<char16_t> letters;
    for (const auto& e : kTwoFormLetters)
        letters.push_back(e.letter);
    for (const auto& e : kOneFormLetters)
        letters.push_back(e.letter);
    for (const auto& e : kFourFormLetters)
        letters.push_back(e.letter);
    for (char16_t c : letters) {
        QVERIFY2(unicodeClass(c) != Joining::None, qPrintable(QString::number(c, 16)));
        QCOMPARE(joiningOf(c), unicodeClass(c));
    }
    for (char16_t c : {u' ', u'^', u'7', u'a', u'\r', u'\n', kJoinBreak, u'\0'})
        QCOMPARE(joiningOf(c), Joining::None);
}

void StreamTest::preview_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("preview");

    QTest::newRow("salam") << "سلام" << "\uFEE1\uFE8E\uFEE0\uFEB3 ";
    QTest::newRow("omr") << "عمر" << "\uFEAE\uFEE4\uFECB ";
    QTest::newRow("two lines with latin") << "سلام ab\r\nدنیا" << "\uFEE1\uFE8E\uFEE0\uFEB3 ab\r\n\uFE8E\uFBFF\uFEE7\uFEA9 ";
    QTest::newRow("zwnj") << "می\u200Cروم" << "\uFEE1\uFEED\uFEAD\uFBFD\uFEE3 ";
    QTest::newRow("tah medial") << "بطن" << "\uFEE6\uFEC4\uFE91 ";
    QTest::newRow("unprintable marked") << "a你b" << "a\uFFFDb ";
}

void StreamTest::preview()
{
    QFETCH(QString, text);
    QFETCH(QString, preview);
    const TextStream s = encodeTextStream(u16(text));
    QCOMPARE(QString::fromStdU16String(previewFromCodes(s.codes)), preview);
}

// Every form the preview can draw is the presentation form of the right
// letter, by Unicode's own names and compatibility decompositions.
void StreamTest::previewFormsMatchUnicode()
{
    UErrorCode err = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(err);
    QVERIFY(U_SUCCESS(err));

    const char joinsAfterIt = char(0xDC); // ب joining: joins what is on its right
    auto check = [&](char16_t letter, std::string codes, std::size_t at, const char* form) {
        const std::u16string p = previewFromCodes(codes);
        QVERIFY(at < p.size());
        const char16_t shown = p[at];
        icu::UnicodeString decomposed;
        nfkc->normalize(icu::UnicodeString(UChar(shown)), decomposed, err);
        QVERIFY(U_SUCCESS(err));
        const QString tag = QStringLiteral("U+%1 as %2").arg(uint(letter), 4, 16).arg(form);
        QVERIFY2(decomposed == icu::UnicodeString(UChar(letter)), qPrintable(tag));
        char name[128];
        u_charName(shown, U_UNICODE_CHAR_NAME, name, sizeof name, &err);
        QVERIFY(U_SUCCESS(err));
        QVERIFY2(QByteArray(name).endsWith(QByteArray(form) + " FORM"), qPrintable(tag + " got " + name));
    };
    auto c = [](std::uint8_t b) { return std::string(1, char(b)); };

    for (const auto& e : kTwoFormLetters) {
        check(e.letter, c(e.end), 0, "ISOLATED");
        check(e.letter, c(e.end) + joinsAfterIt, 0, "FINAL");
        check(e.letter, c(e.joining), 0, "INITIAL");
        check(e.letter, c(e.joining) + joinsAfterIt, 0, "MEDIAL");
    }
    for (const auto& e : kFourFormLetters) {
        if (e.letter != u'\u0647') // its isolated code is shared with و
            check(e.letter, c(e.isolated), 0, "ISOLATED");
        check(e.letter, c(e.final) + joinsAfterIt, 0, "FINAL");
        check(e.letter, c(e.initial), 0, "INITIAL");
        check(e.letter, c(e.medial) + joinsAfterIt, 0, "MEDIAL");
    }
    for (const auto& e : kOneFormLetters) {
        check(e.letter, c(e.code), 0, "ISOLATED");
        check(e.letter, c(e.code) + joinsAfterIt, 0, "FINAL");
        if (joiningOf(e.letter) == Joining::Dual) {
            check(e.letter, c(0x90) + c(e.code), 1, "INITIAL");
            check(e.letter, c(0x90) + c(e.code) + joinsAfterIt, 1, "MEDIAL");
        }
    }
}

QTEST_APPLESS_MAIN(StreamTest)
#include "tst_stream.moc"
