// Codes made by libzint, measured against the symbologies' own sizes and
// quiet zones and read back by zxing-cpp.
#include "image/Codes.h"

#include "CodeReader.h"

#include <QImage>
#include <QtTest>

using namespace korvel::image;
Q_DECLARE_METATYPE(korvel::image::Symbology)

namespace {
QImage onCanvas(const CodePicture& code, QPoint at)
{
    QImage canvas(240, 154, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    for (int y = 0; y < code.height; ++y)
        for (int x = 0; x < code.width; ++x)
            if (code.black(x, y))
                canvas.setPixel(at.x() + x, at.y() + y, qRgb(0, 0, 0));
    return canvas;
}
} // namespace

class CodesTest : public QObject {
    Q_OBJECT
private slots:
    void sizeAndQuietZone_data()
    {
        QTest::addColumn<Symbology>("symbology");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("module");
        // At one pixel a module: the whole picture, and the white margin on each side
        // (the symbol's own edge is ink for all four).
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("right");
        QTest::addColumn<int>("bottom");
        for (int m : {1, 2, 3}) {
            const QByteArray tag = " module " + QByteArray::number(m);
            // QR version 1: 21 modules, quiet zone 4.
            QTest::newRow("QR 'Hello'" + tag) << Symbology::QrCode << QByteArray("Hello") << m << QSize(29, 29) << 4 << 4 << 4 << 4;
            // Data Matrix 10 x 10 (three digit pairs), quiet zone 1.
            QTest::newRow("Data Matrix '123456'" + tag) << Symbology::DataMatrix << QByteArray("123456") << m << QSize(12, 12) << 1 << 1 << 1 << 1;
        }
        for (int m : {1, 2}) {
            const QByteArray tag = " module " + QByteArray::number(m);
            // Start, four symbols, check (6 x 11) and stop (13); quiet zones 10.
            QTest::newRow("Code 128 'AB12'" + tag) << Symbology::Code128 << QByteArray("AB12") << m << QSize(99, 30) << 10 << 0 << 10 << 0;
            // 95 modules; quiet zones 11 left, 7 right.
            QTest::newRow("EAN-13" + tag) << Symbology::Ean13 << QByteArray("590123412345") << m << QSize(113, 30) << 11 << 0 << 7 << 0;
        }
    }
    void sizeAndQuietZone()
    {
        QFETCH(Symbology, symbology);
        QFETCH(QByteArray, data);
        QFETCH(int, module);
        QFETCH(QSize, size);
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(int, right);
        QFETCH(int, bottom);
        const CodeOutcome out = makeCode(symbology, data.toStdString(), module);
        QCOMPARE(out.kind, CodeOutcome::Kind::Made);
        const CodePicture& p = out.picture;
        QCOMPARE(QSize(p.width, p.height), size * module);
        int minX = p.width, maxX = -1, minY = p.height, maxY = -1;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if (p.black(x, y)) {
                    minX = std::min(minX, x), maxX = std::max(maxX, x);
                    minY = std::min(minY, y), maxY = std::max(maxY, y);
                    // Every module a square of whole pixels.
                    const int x0 = x / module * module, y0 = y / module * module;
                    QVERIFY2(p.black(x0, y0), qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
                } else {
                    QVERIFY(!p.black(x / module * module, y / module * module));
                }
        QCOMPARE(minX, left * module);
        QCOMPARE(minY, top * module);
        QCOMPARE(p.width - 1 - maxX, right * module);
        QCOMPARE(p.height - 1 - maxY, bottom * module);
    }

    void readsBack_data()
    {
        QTest::addColumn<Symbology>("symbology");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("module");
        const struct { Symbology s; const char* name; QByteArray data; int largest; } cases[] = {
            {Symbology::QrCode, "QR", "KORVEL batch 0042 \xd8\xb3\xd9\x84\xd8\xa7\xd9\x85", 4},
            {Symbology::DataMatrix, "Data Matrix", "LOT 2026-12-10 #17", 4},
            {Symbology::Gs1DataMatrix, "GS1 Data Matrix", "(01)09501101530003(17)260101(10)AB12", 4},
            {Symbology::Code128, "Code 128", "AB-12", 2},
            {Symbology::Gs1_128, "GS1-128", "(10)12", 2},
            {Symbology::Ean13, "EAN-13", "5901234123457", 2},
        };
        for (const auto& c : cases)
            for (int m = 1; m <= c.largest; ++m)
                QTest::addRow("%s module %d", c.name, m) << c.s << c.data << m;
    }
    void readsBack()
    {
        QFETCH(Symbology, symbology);
        QFETCH(QByteArray, data);
        QFETCH(int, module);
        const CodeOutcome out = makeCode(symbology, data.toStdString(), module);
        QCOMPARE(out.kind, CodeOutcome::Kind::Made);
        const auto read = readCode(onCanvas(out.picture, QPoint(3, 2)), isGs1(symbology));
        QVERIFY(read);
        QCOMPARE(QString::fromStdString(read->text), QString::fromStdString(expectedRead(data.toStdString(), isGs1(symbology))));
        QCOMPARE(readAsGs1(*read), isGs1(symbology));
    }

    void badDataIsRefusedWithLibzintsReason_data()
    {
        QTest::addColumn<Symbology>("symbology");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("module");
        QTest::addColumn<QString>("reason"); // a part of it
        QTest::newRow("EAN-13 wrong check digit") << Symbology::Ean13 << QByteArray("5901234123458") << 1 << "check digit";
        QTest::newRow("EAN-13 a letter") << Symbology::Ean13 << QByteArray("59012341234X") << 1 << "Invalid character";
        QTest::newRow("EAN-13 too short") << Symbology::Ean13 << QByteArray("12345") << 1 << "EAN-13";
        QTest::newRow("EAN-13 add-on") << Symbology::Ean13 << QByteArray("590123412345+12") << 1 << "EAN-13";
        QTest::newRow("Code 128 Persian") << Symbology::Code128 << QByteArray("\xd8\xb3\xd9\x84\xd8\xa7\xd9\x85") << 1 << "8859-1";
        QTest::newRow("GS1-128 wrong check digit") << Symbology::Gs1_128 << QByteArray("(01)09501101530004") << 1 << "checksum";
        QTest::newRow("GS1 Data Matrix no AI") << Symbology::Gs1DataMatrix << QByteArray("0109501101530003") << 1 << "AI";
        QTest::newRow("GS1 Data Matrix short GTIN") << Symbology::Gs1DataMatrix << QByteArray("(01)0950110153000") << 1 << "(01)";
        QTest::newRow("QR not UTF-8") << Symbology::QrCode << QByteArray("\xff\xfe") << 1 << "UTF-8";
        QTest::newRow("empty") << Symbology::DataMatrix << QByteArray() << 1 << "No input data";
        QTest::newRow("module 0") << Symbology::QrCode << QByteArray("A") << 0 << "ماژول";
        QTest::newRow("module 7") << Symbology::QrCode << QByteArray("A") << 7 << "ماژول";
    }
    void badDataIsRefusedWithLibzintsReason()
    {
        QFETCH(Symbology, symbology);
        QFETCH(QByteArray, data);
        QFETCH(int, module);
        QFETCH(QString, reason);
        const CodeOutcome out = makeCode(symbology, std::string(data.constData(), std::size_t(data.size())), module);
        QCOMPARE(out.kind, CodeOutcome::Kind::BadData);
        QVERIFY2(QString::fromStdString(out.reason).contains(reason, Qt::CaseInsensitive), out.reason.c_str());
        const QString message = QString::fromStdString(codeRefusalMessage(out));
        QVERIFY(message.startsWith(QLatin1Char('.')));
        QVERIFY(message.endsWith(QString::fromStdString(out.reason)));
    }

    void tooLargeTellsTheLargestThatFits_data()
    {
        QTest::addColumn<Symbology>("symbology");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("module");
        QTest::addColumn<int>("largest");
        QTest::newRow("QR 29 modules at 6 (174 rows)") << Symbology::QrCode << QByteArray("Hello") << 6 << 5;
        QTest::newRow("EAN-13 113 modules at 3") << Symbology::Ean13 << QByteArray("590123412345") << 3 << 2;
        QTest::newRow("Code 128 99 modules at 3") << Symbology::Code128 << QByteArray("AB12") << 3 << 2;
        // Start C, FNC1, 16 digit pairs, check, stop: 244 modules and the quiet zones.
        QTest::newRow("GS1-128 264 modules at 1") << Symbology::Gs1_128 << QByteArray("(01)09501101530003(17)260101(10)AB12") << 1 << 0;
        QTest::newRow("QR of 600 bytes at 2") << Symbology::QrCode << QByteArray(600, 'k') << 2 << 1;
        QTest::newRow("QR of 2000 bytes at 1") << Symbology::QrCode << QByteArray(2000, 'k') << 1 << 0;
    }
    void tooLargeTellsTheLargestThatFits()
    {
        QFETCH(Symbology, symbology);
        QFETCH(QByteArray, data);
        QFETCH(int, module);
        QFETCH(int, largest);
        const CodeOutcome out = makeCode(symbology, data.toStdString(), module);
        QCOMPARE(out.kind, CodeOutcome::Kind::TooLarge);
        QCOMPARE(out.largestModule, largest);
        QVERIFY(out.width > 240 || out.height > 154);
        const QString message = QString::fromStdString(codeRefusalMessage(out));
        QVERIFY(message.startsWith(QLatin1Char('.')));
        if (largest > 0) {
            QVERIFY(message.endsWith(QString::number(largest)));
            QCOMPARE(makeCode(symbology, data.toStdString(), largest).kind, CodeOutcome::Kind::Made);
        }
    }

    void namesForTheCommandLine()
    {
        for (const char* key : {"qr", "datamatrix", "gs1-datamatrix", "code128", "gs1-128", "ean13"})
            QVERIFY2(symbologyFromKey(key), key);
        QVERIFY(!symbologyFromKey("QR"));
        QVERIFY(!symbologyFromKey(""));
    }
};

QTEST_APPLESS_MAIN(CodesTest)
#include "tst_codes.moc"
