#include "image/Canvas.h"
#include "image/Raster.h"

#include <QImage>
#include <QtTest>

using namespace korvel::image;

class RasterTest : public QObject {
    Q_OBJECT
private slots:
    void singlePixel_data();
    void singlePixel();
    void pictureSize_data();
    void pictureSize();
    void traceRecordsWhatWasSent();
};

void RasterTest::singlePixel_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<int>("number"); // 1-based value number, 0: none changes
    QTest::addColumn<int>("value");
    const QRgb black = qRgb(0, 0, 0);
    QTest::newRow("(0,0) top row is printed") << 0 << 0 << black << 1 << 247;
    QTest::newRow("(0,1)") << 0 << 1 << black << 2 << 247;
    QTest::newRow("(0,21) last row of band 0") << 0 << 21 << black << 22 << 247;
    QTest::newRow("(0,22) first row of band 1") << 0 << 22 << black << 1 << 251;
    QTest::newRow("(0,44) band 2") << 0 << 44 << black << 1 << 254;
    QTest::newRow("(0,66) band 3") << 0 << 66 << black << 1 << 253;
    QTest::newRow("(0,88) band 4") << 0 << 88 << black << 1 << 223;
    QTest::newRow("(0,110) band 5") << 0 << 110 << black << 1 << 191;
    QTest::newRow("(1,153) last row") << 1 << 153 << black << 44 << 239;
    QTest::newRow("(239,0) last column") << 239 << 0 << black << 5259 << 247;
    QTest::newRow("colour 1,1,1 is white") << 0 << 1 << qRgb(1, 1, 1) << 0 << 255;
    QTest::newRow("half-transparent black is white") << 0 << 1 << qRgba(0, 0, 0, 128) << 0 << 255;
}

void RasterTest::singlePixel()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QRgb, colour);
    QFETCH(int, number);
    QFETCH(int, value);
    QImage picture(kColumns, kRows, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    picture.setPixel(x, y, colour);
    const auto values = rasteriseImage(picture);
    QCOMPARE(values.size(), std::size_t(kValues));
    for (int n = 1; n <= kValues; ++n)
        if (values[n - 1] != (n == number ? value : 255))
            QFAIL(qPrintable(QString("value %1 is %2").arg(n).arg(values[n - 1])));
}

void RasterTest::pictureSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("inkedValues"); // values 1.. n hold `ink`, the rest 255
    QTest::addColumn<int>("ink");
    QTest::newRow("full canvas all black") << 240 << 154 << 5280 << 128;
    QTest::newRow("narrow: the rest is white") << 100 << 154 << 2200 << 128;
    QTest::newRow("wide: first 240 columns") << 300 << 154 << 5280 << 128;
    QTest::newRow("short: only band 0") << 240 << 22 << 5280 << 247;
    QTest::newRow("tall: first 154 rows") << 240 << 200 << 5280 << 128;
    QTest::newRow("empty") << 0 << 0 << 0 << 0;
}

void RasterTest::pictureSize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, inkedValues);
    QFETCH(int, ink);
    bool readOutside = false;
    const auto values = rasterise(width, height, [&](int x, int y) {
        readOutside |= x < 0 || y < 0 || x >= std::min(width, kColumns) || y >= std::min(height, kRows);
        return true;
    });
    QVERIFY(!readOutside);
    QCOMPARE(values.size(), std::size_t(kValues));
    for (int n = 1; n <= kValues; ++n)
        if (values[n - 1] != (n <= inkedValues ? ink : 255))
            QFAIL(qPrintable(QString("value %1 is %2").arg(n).arg(values[n - 1])));
}

void RasterTest::traceRecordsWhatWasSent()
{
    const auto white = rasterise(kColumns, kRows, [](int, int) { return false; });
    std::string expected = "240,";
    for (int n = 0; n < kValues; ++n)
        expected += "255,";
    QCOMPARE(traceFileText(white), expected);

    // A narrow picture still sends (and traces) 240 columns.
    const auto narrow = rasterise(100, kRows, [](int x, int y) { return x == 0 && y == 0; });
    const std::string trace = traceFileText(narrow);
    QVERIFY(trace.starts_with("240,247,255,"));
    QCOMPARE(trace.size(), expected.size());
}

QTEST_MAIN(RasterTest)
#include "tst_raster.moc"
