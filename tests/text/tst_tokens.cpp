#include "Tokens.h"

#include <QtTest>

using namespace korvel::text;

class TokensTest : public QObject {
    Q_OBJECT
private slots:
    void insertToken_data();
    void insertToken();
    void pictureTokens_data();
    void pictureTokens();
};

void TokensTest::insertToken_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("selectionStart");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("caret");

    QTest::newRow("empty editor") << "" << 0 << "^y" << "^y" << 2;
    QTest::newRow("caret at start") << "abc" << 0 << "^c" << "^cabc" << 2;
    QTest::newRow("caret at end") << "abc" << 3 << "^t" << "abc^t" << 5;
    // A selection of "cd" starting at 2: it is kept and follows the token.
    QTest::newRow("selection kept after token") << "abcdef" << 2 << "^m" << "ab^mcdef" << 4;
    QTest::newRow("start of second line") << "ab\r\ncd" << 4 << "^d" << "ab\r\n^dcd" << 6;
    QTest::newRow("inside second line") << "ab\r\ncd" << 5 << "^d" << "ab\r\nc^dd" << 7;
    QTest::newRow("inside Persian word") << "سلام" << 2 << "^Y" << "سل^Yام" << 4;
    QTest::newRow("caret past end clamps") << "ab" << 9 << "^3" << "ab^3" << 4;
}

void TokensTest::insertToken()
{
    QFETCH(QString, text);
    QFETCH(int, selectionStart);
    QFETCH(QString, token);
    QFETCH(QString, expected);
    QFETCH(int, caret);

    const std::u16string tok = token.toStdU16String();
    const Edited e = korvel::text::insertToken(text.toStdU16String(), selectionStart, tok);
    QCOMPARE(QString::fromStdU16String(e.text), expected);
    QCOMPARE(e.caret, caret);
}

void TokensTest::pictureTokens_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("trackBar");
    QTest::addColumn<QString>("token");

    QTest::newRow("Image1") << "Image1" << 8 << "^y";
    QTest::newRow("Image2") << "Image2" << 8 << "^d";
    QTest::newRow("Image3") << "Image3" << 8 << "^m";
    QTest::newRow("Image6") << "Image6" << 8 << "^Y";
    QTest::newRow("Image4") << "Image4" << 8 << "^M";
    QTest::newRow("Image5 same as Image4") << "Image5" << 8 << "^M";
    QTest::newRow("Image9") << "Image9" << 8 << "^t";
    QTest::newRow("Image7") << "Image7" << 8 << "^c";
    QTest::newRow("font at start-up") << "Image8" << 8 << "^8";
    QTest::newRow("font after move") << "Image8" << 3 << "^3";
    QTest::newRow("font below range") << "Image8" << 0 << "^1";
    QTest::newRow("font above range") << "Image8" << 9 << "^8";
    QTest::newRow("unknown picture") << "Image10" << 8 << "";
}

void TokensTest::pictureTokens()
{
    QFETCH(QString, control);
    QFETCH(int, trackBar);
    QFETCH(QString, token);
    QCOMPARE(QString::fromStdU16String(tokenFor(control.toStdString(), trackBar)), token);
}

QTEST_APPLESS_MAIN(TokensTest)
#include "tst_tokens.moc"
