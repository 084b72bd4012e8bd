// Black and white for the printer: threshold, Floyd-Steinberg, scale to fit.
#include "image/Canvas.h"
#include "image/Photo.h"

#include <QImage>
#include <QtTest>

using namespace korvel::image;

namespace {
QImage greyPicture(int w, int h, int grey)
{
    QImage p(w, h, QImage::Format_RGB32);
    p.fill(qRgb(grey, grey, grey));
    return p;
}
QString pattern(const QImage& p)
{
    QString s;
    for (int y = 0; y < p.height(); ++y) {
        if (y)
            s += QLatin1Char('/');
        for (int x = 0; x < p.width(); ++x)
            s += p.pixel(x, y) == qRgb(0, 0, 0) ? QLatin1Char('B') : p.pixel(x, y) == qRgb(255, 255, 255) ? QLatin1Char('W') : QLatin1Char('?');
    }
    return s;
}
} // namespace

class PhotoTest : public QObject {
    Q_OBJECT
private slots:
    void threshold_data()
    {
        QTest::addColumn<int>("grey");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("expected");
        QTest::newRow("127 under 128") << 127 << 128 << "B";
        QTest::newRow("128 at 128") << 128 << 128 << "W";
        QTest::newRow("200 under 201") << 200 << 201 << "B";
        QTest::newRow("0 at level 0") << 0 << 0 << "W";
        QTest::newRow("30 above 20") << 30 << 20 << "W";
    }
    void threshold()
    {
        QFETCH(int, grey);
        QFETCH(int, level);
        QFETCH(QString, expected);
        QCOMPARE(pattern(thresholdPicture(greyPicture(1, 1, grey), level)), expected);
    }

    void thresholdAtHalfIsTodaysOpen()
    {
        QImage gradient(256, 3, QImage::Format_ARGB32);
        for (int x = 0; x < 256; ++x) {
            gradient.setPixel(x, 0, qRgb(x, x, x));
            gradient.setPixel(x, 1, qRgb(x, 255 - x, x / 2));
            gradient.setPixel(x, 2, qRgba(0, 0, 0, x)); // black fading in over white
        }
        QCOMPARE(thresholdPicture(gradient, 128), toBlackAndWhite(gradient));
    }

    // Worked by hand with the error shares 7/16 right, 3/16 below left,
    // 5/16 below and 1/16 below right, rows left to right.
    void floydSteinbergByHand_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QString>("expected");
        // 100 B (err 100); 143.75 W (-111.25); 51.33 B; 122.46 B.
        QTest::newRow("row of 100") << greyPicture(4, 1, 100) << "BWBB";
        // 100 B; 143.75 W; below: 100 + 31.25 - 20.86 = 110.39 B; 100 + 6.25 - 34.77 + 48.30 = 119.78 B.
        QTest::newRow("2 x 2 of 100") << greyPicture(2, 2, 100) << "BW/BB";
        QTest::newRow("white stays white") << greyPicture(3, 2, 255) << "WWW/WWW";
        QTest::newRow("black stays black") << greyPicture(3, 2, 0) << "BBB/BBB";
    }
    void floydSteinbergByHand()
    {
        QFETCH(QImage, picture);
        QFETCH(QString, expected);
        QCOMPARE(pattern(ditherPicture(picture)), expected);
    }

    void ditheredGreyKeepsItsTone_data()
    {
        QTest::addColumn<int>("grey");
        for (int g : {32, 64, 128, 192, 224})
            QTest::addRow("grey %d", g) << g;
    }
    void ditheredGreyKeepsItsTone()
    {
        QFETCH(int, grey);
        const QImage d = ditherPicture(greyPicture(80, 80, grey));
        int black = 0;
        for (int y = 0; y < d.height(); ++y)
            for (int x = 0; x < d.width(); ++x)
                black += d.pixel(x, y) == qRgb(0, 0, 0);
        const double share = black / 6400.0, expected = (255 - grey) / 255.0;
        QVERIFY2(std::abs(share - expected) < 0.02, qPrintable(QStringLiteral("%1 vs %2").arg(share).arg(expected)));
        QVERIFY(isBlackAndWhite(d));
    }

    void scaleToFit_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("wide") << QSize(480, 154) << QSize(240, 77);
        QTest::newRow("tall") << QSize(100, 308) << QSize(50, 154);
        QTest::newRow("both, height binds") << QSize(960, 770) << QSize(192, 154);
        QTest::newRow("fits: unchanged") << QSize(200, 100) << QSize(200, 100);
        QTest::newRow("exactly the canvas") << QSize(240, 154) << QSize(240, 154);
    }
    void scaleToFit()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, expected);
        QImage p(size, QImage::Format_ARGB32);
        p.fill(qRgba(0, 0, 0, 0)); // transparent: white on paper
        const QImage scaled = korvel::image::scaleToFit(p);
        QCOMPARE(scaled.size(), expected);
        QCOMPARE(pattern(thresholdPicture(scaled, 128)).count(QLatin1Char('B')), 0);
    }

    void choiceAppliesFitThenWay()
    {
        QImage p = greyPicture(480, 308, 100);
        PictureChoice c;
        c.fit = true;
        c.way = BlackWhiteWay::Dither;
        const QImage out = convertPicture(p, c);
        QCOMPARE(out.size(), QSize(240, 154));
        QVERIFY(isBlackAndWhite(out));
        c.fit = false;
        c.way = BlackWhiteWay::Threshold;
        c.level = 101;
        const QImage all = convertPicture(p, c);
        QCOMPARE(all.size(), QSize(480, 308));
        QCOMPARE(all.pixel(479, 307), qRgb(0, 0, 0));
    }
};

QTEST_APPLESS_MAIN(PhotoTest)
#include "tst_photo.moc"
