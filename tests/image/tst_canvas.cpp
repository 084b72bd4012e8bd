#include "image/Canvas.h"
#include "image/Raster.h"

#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace korvel::image;

Q_DECLARE_METATYPE(DrawingTool)
Q_DECLARE_METATYPE(BrushStyle)
Q_DECLARE_METATYPE(PenStyle)

namespace {

QImage filled(int w, int h, QRgb colour)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Black and white stripes and dots, so that an inverted or a kept pixel shows.
QImage pattern()
{
    QImage image(kColumns, kRows, QImage::Format_RGB32);
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kColumns; ++x)
            image.setPixel(x, y, ((x / 3 + y / 2) % 2 == 0 || (x * 7 + y * 3) % 11 == 0) ? qRgb(0, 0, 0)
                                                                                          : qRgb(255, 255, 255));
    return image;
}

bool onlyBlackAndWhite(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (c != qRgb(0, 0, 0) && c != qRgb(255, 255, 255))
                return false;
        }
    return true;
}

int blackCount(const Canvas& canvas, QRect area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += canvas.isBlack(x, y);
    return n;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class CanvasTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startsBlankWithDefaults();
    void rasterisesItsPixels();
    void interiors_data();
    void interiors();
    void outlines_data();
    void outlines();
    void lineLeavesItsEndPixel();
    void notXorTwiceRestores_data();
    void notXorTwiceRestores();
    void newCanvasWhitensTheCanvasArea();
    void stylesAcrossReplacement();
    void saveLoadRoundTrip();
    void savedRowPaddingIsZero_data();
    void savedRowPaddingIsZero();
    void loadsABitmapWithWhiteFirstInItsPalette();
    void loadMakesBlackAndWhite_data();
    void loadMakesBlackAndWhite();
    void loadFailureKeepsTheCanvas_data();
    void loadFailureKeepsTheCanvas();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
    void workingBitmapAndUndo();
    void workingFolderFailure();
    void logoMaskInk_data();
    void logoMaskInk();
    void stampLogo();
    void stampTextCell_data();
    void stampTextCell();
    void stampPersianShapedRightToLeft();

private:
    QTemporaryDir tmp_;
    QString arabicFamily_;
};

void CanvasTest::initTestCase()
{
    QVERIFY(tmp_.isValid());
    qputenv("KORVEL_WORKDIR", QFile::encodeName(tmp_.filePath("work/sub")));
    const QStringList families = QFontDatabase::families(QFontDatabase::Arabic);
    arabicFamily_ = families.contains("Noto Sans Arabic") ? "Noto Sans Arabic"
                                                          : (families.isEmpty() ? QString() : families.first());
}

void CanvasTest::startsBlankWithDefaults()
{
    Canvas canvas;
    QCOMPARE(canvas.image().size(), QSize(240, 154));
    QCOMPARE(blackCount(canvas, canvas.image().rect()), 0);
    QVERIFY(!canvas.isBlack(-1, 0));
    QVERIFY(!canvas.isBlack(240, 0));
    QCOMPARE(canvas.penStyle(), PenStyle::psSolid);
    QCOMPARE(canvas.penWidth(), 1);
    QCOMPARE(canvas.penMode(), PenMode::pmCopy);
    QCOMPARE(canvas.brushStyle(), BrushStyle::bsSolid);
    QCOMPARE(canvas.drawingTool(), DrawingTool::dtLine);
    QCOMPARE(penSizeUp(9), 1);
    QCOMPARE(penSizeUp(15), 1);
    QCOMPARE(penSizeDown(1), 9);
    QCOMPARE(penSizeDown(0), 9);
    QCOMPARE(penSizeUp(3), 4);
}

void CanvasTest::rasterisesItsPixels()
{
    Canvas canvas;
    canvas.setPixel(0, 22, true);
    canvas.setPixel(1, 153, true);
    const auto values = canvas.rasterise();
    QCOMPARE(values.size(), std::size_t(kValues));
    QCOMPARE(values[0], 251);
    QCOMPARE(values[43], 239);
    QCOMPARE(std::count(values.begin(), values.end(), 255), kValues - 2);
}

void CanvasTest::interiors_data()
{
    QTest::addColumn<DrawingTool>("tool");
    QTest::addColumn<BrushStyle>("brush");
    for (auto [tool, name] : {std::pair{DrawingTool::dtRectangle, "rectangle"}, {DrawingTool::dtEllipse, "ellipse"},
                              {DrawingTool::dtRoundRect, "round rect"}}) {
        QTest::addRow("%s, solid brush", name) << tool << BrushStyle::bsSolid;
        QTest::addRow("%s, clear brush", name) << tool << BrushStyle::bsClear;
    }
}

void CanvasTest::interiors()
{
    QFETCH(DrawingTool, tool);
    QFETCH(BrushStyle, brush);
    Canvas canvas;
    canvas.replacePicture(filled(kColumns, kRows, qRgb(0, 0, 0)));
    canvas.setDrawingTool(tool);
    canvas.setBrushStyle(brush);
    canvas.DrawShape({10, 10}, {60, 50}, PenMode::pmCopy);
    const QRect inside(25, 22, 21, 17);
    const int black = blackCount(canvas, inside);
    QCOMPARE(black, brush == BrushStyle::bsSolid ? 0 : inside.width() * inside.height());
    // Nothing outside the figure's box changes.
    QCOMPARE(blackCount(canvas, QRect(0, 0, 240, 9)), 240 * 9);
    QCOMPARE(blackCount(canvas, QRect(62, 0, 178, 154)), 178 * 154);
    QVERIFY(onlyBlackAndWhite(canvas.image()));
}

void CanvasTest::outlines_data()
{
    QTest::addColumn<DrawingTool>("tool");
    QTest::addColumn<bool>("cornerInked");
    QTest::newRow("rectangle") << DrawingTool::dtRectangle << true;
    QTest::newRow("ellipse") << DrawingTool::dtEllipse << false;
    QTest::newRow("round rect") << DrawingTool::dtRoundRect << false;
}

void CanvasTest::outlines()
{
    QFETCH(DrawingTool, tool);
    QFETCH(bool, cornerInked);
    Canvas forward, backward;
    for (Canvas* c : {&forward, &backward}) {
        c->setDrawingTool(tool);
        c->setBrushStyle(BrushStyle::bsClear);
    }
    forward.DrawShape({10, 10}, {60, 50}, PenMode::pmCopy);
    backward.DrawShape({60, 50}, {10, 10}, PenMode::pmCopy); // a drag up and to the left
    QCOMPARE(backward.image(), forward.image());
    // The outline passes through the middle of each side of the box.
    QVERIFY(forward.isBlack(35, 10));
    QVERIFY(forward.isBlack(35, 50));
    QVERIFY(forward.isBlack(10, 30));
    QVERIFY(forward.isBlack(60, 30));
    QCOMPARE(forward.isBlack(10, 10), cornerInked);
    QCOMPARE(blackCount(forward, QRect(0, 0, 240, 10)), 0);
    QCOMPARE(blackCount(forward, QRect(61, 0, 179, 154)), 0);
    QVERIFY(onlyBlackAndWhite(forward.image()));
}

void CanvasTest::lineLeavesItsEndPixel()
{
    Canvas canvas;
    canvas.DrawShape({10, 10}, {20, 10}, PenMode::pmCopy);
    QCOMPARE(blackCount(canvas, QRect(10, 10, 10, 1)), 10);
    QVERIFY(!canvas.isBlack(20, 10));
    QCOMPARE(blackCount(canvas, canvas.image().rect()), 10);

    Canvas point;
    point.DrawShape({30, 30}, {30, 30}, PenMode::pmCopy);
    QCOMPARE(blackCount(point, point.image().rect()), 0);
}

void CanvasTest::notXorTwiceRestores_data()
{
    QTest::addColumn<DrawingTool>("tool");
    QTest::addColumn<PenStyle>("pen");
    QTest::addColumn<int>("width");
    const std::pair<DrawingTool, const char*> tools[] = {{DrawingTool::dtLine, "line"},
                                                         {DrawingTool::dtRectangle, "rectangle"},
                                                         {DrawingTool::dtEllipse, "ellipse"},
                                                         {DrawingTool::dtRoundRect, "round rect"}};
    const std::pair<PenStyle, const char*> pens[] = {{PenStyle::psSolid, "solid"}, {PenStyle::psDash, "dash"},
                                                     {PenStyle::psDot, "dot"}, {PenStyle::psDashDot, "dash-dot"},
                                                     {PenStyle::psDashDotDot, "dash-dot-dot"},
                                                     {PenStyle::psClear, "clear"}};
    for (const auto& [tool, toolName] : tools)
        for (const auto& [pen, penName] : pens)
            for (int width : {1, 4, 9})
                QTest::addRow("%s %s width %d", toolName, penName, width) << tool << pen << width;
}

void CanvasTest::notXorTwiceRestores()
{
    QFETCH(DrawingTool, tool);
    QFETCH(PenStyle, pen);
    QFETCH(int, width);
    Canvas canvas;
    canvas.replacePicture(pattern());
    const QImage before = canvas.image();
    canvas.setDrawingTool(tool);
    canvas.setPenStyle(pen);
    canvas.setPenWidth(width);
    canvas.setBrushStyle(BrushStyle::bsSolid); // a white brush in not-xor changes nothing
    const QPoint a(15, 120), b(200, 20);       // dragged up and to the right
    canvas.DrawShape(a, b, PenMode::pmNotXor);
    const QImage once = canvas.image();
    QVERIFY(onlyBlackAndWhite(once));
    if (pen == PenStyle::psClear)
        QCOMPARE(once, before);
    else
        QVERIFY(once != before);
    // Every changed pixel is inverted, and the interior is untouched.
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kColumns; ++x)
            if (once.pixel(x, y) != before.pixel(x, y))
                QVERIFY(once.pixel(x, y) == (before.pixel(x, y) ^ 0x00ffffffu));
    if (tool != DrawingTool::dtLine)
        QCOMPARE(once.copy(90, 60, 30, 20), before.copy(90, 60, 30, 20));
    canvas.DrawShape(a, b, PenMode::pmNotXor);
    QCOMPARE(canvas.image(), before);
    QCOMPARE(canvas.penMode(), PenMode::pmNotXor);
}

void CanvasTest::newCanvasWhitensTheCanvasArea()
{
    Canvas canvas;
    canvas.replacePicture(filled(300, 200, qRgb(0, 0, 0)));
    canvas.newCanvas();
    QCOMPARE(canvas.image().size(), QSize(240, 154));
    QCOMPARE(blackCount(canvas, canvas.image().rect()), 0);

    Canvas small;
    small.replacePicture(filled(50, 40, qRgb(0, 0, 0)));
    small.newCanvas();
    QCOMPARE(small.image().size(), QSize(240, 154));
    QCOMPARE(blackCount(small, small.image().rect()), 0);
}

void CanvasTest::stylesAcrossReplacement()
{
    const QString file = tmp_.filePath("styles.bmp");
    Canvas canvas;
    canvas.save(file);
    canvas.SaveWorkingBitmap();
    canvas.setPenStyle(PenStyle::psDash);
    canvas.setPenWidth(5);
    canvas.setBrushStyle(BrushStyle::bsClear);
    canvas.setDrawingTool(DrawingTool::dtEllipse);
    canvas.DrawShape({1, 1}, {5, 5}, PenMode::pmNotXor);

    // Open keeps brush, pen style and width; the pen mode is fresh.
    canvas.load(file);
    QCOMPARE(canvas.penStyle(), PenStyle::psDash);
    QCOMPARE(canvas.penWidth(), 5);
    QCOMPARE(canvas.brushStyle(), BrushStyle::bsClear);
    QCOMPARE(canvas.penMode(), PenMode::pmCopy);
    QCOMPARE(canvas.drawingTool(), DrawingTool::dtEllipse);

    // Undo does not.
    canvas.setPenMode(PenMode::pmNotXor);
    canvas.undo();
    QCOMPARE(canvas.penStyle(), PenStyle::psSolid);
    QCOMPARE(canvas.penWidth(), 1);
    QCOMPARE(canvas.brushStyle(), BrushStyle::bsSolid);
    QCOMPARE(canvas.penMode(), PenMode::pmCopy);
    QCOMPARE(canvas.drawingTool(), DrawingTool::dtEllipse);

    canvas.setPenWidth(7);
    canvas.SaveStyles();
    canvas.setPenWidth(2);
    canvas.RestoreStyles();
    QCOMPARE(canvas.penWidth(), 7);
}

// Rows of a 1-bit bitmap are padded to 4 bytes; the padding bits are zero, so
// the same picture always gives the same file.
void CanvasTest::savedRowPaddingIsZero_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("240: two bytes of padding") << 240;
    QTest::newRow("3: five bits and three bytes") << 3;
    QTest::newRow("33: seven bits and three bytes") << 33;
    QTest::newRow("32: none") << 32;
}

void CanvasTest::savedRowPaddingIsZero()
{
    QFETCH(int, width);
    const int height = 7;
    const int stride = (width + 31) / 32 * 4;
    Canvas canvas;
    canvas.replacePicture(filled(width, height, qRgb(0, 0, 0)));
    const QString file = tmp_.filePath("padded.bmp");
    canvas.save(file);
    const QByteArray bytes = readAll(file);
    const int offset = int(quint8(bytes[10])) | int(quint8(bytes[11])) << 8;
    QCOMPARE(bytes.size(), offset + stride * height);
    // Black is palette entry 0, so a black row is all zero bits: any 1 is padding left set.
    for (int i = offset; i < bytes.size(); ++i)
        QVERIFY2(bytes[i] == 0, qPrintable(QStringLiteral("byte %1 is %2").arg(i).arg(quint8(bytes[i]))));
    canvas.save(tmp_.filePath("again.bmp"));
    QCOMPARE(readAll(tmp_.filePath("again.bmp")), bytes);
}

void CanvasTest::saveLoadRoundTrip()
{
    Canvas canvas;
    canvas.setDrawingTool(DrawingTool::dtEllipse);
    canvas.setPenWidth(3);
    canvas.DrawShape({20, 20}, {200, 140}, PenMode::pmCopy);
    canvas.setPixel(0, 0, true);
    canvas.setPixel(239, 153, true);
    const QString file = tmp_.filePath("round.bmp");
    canvas.save(file);

    const QByteArray bytes = readAll(file);
    QVERIFY(bytes.startsWith("BM"));
    QCOMPARE(int(quint8(bytes[28])) | int(quint8(bytes[29])) << 8, 1); // bits per pixel
    QCOMPARE(bytes.size(), 14 + 40 + 2 * 4 + 32 * 154);
    QVERIFY(QDir(tmp_.path()).entryList({"round.bmp.*"}, QDir::Files | QDir::Hidden).isEmpty());

    Canvas loaded;
    loaded.replacePicture(filled(10, 10, qRgb(0, 0, 0)));
    loaded.load(file);
    QCOMPARE(loaded.image(), canvas.image());
    QCOMPARE(loaded.rasterise(), canvas.rasterise());
}

void CanvasTest::loadsABitmapWithWhiteFirstInItsPalette()
{
    // 10 x 3, 1 bit, palette white then black, as other programs write it;
    // black at (0, 0) and (9, 2).
    const QString file = tmp_.filePath("foreign.bmp");
    writeFile(file, QByteArray::fromHex("424d4a000000000000003e000000280000000a000000030000000100010000000000"
                                        "0c000000130b0000130b00000200000002000000ffffff0000000000004000000000"
                                        "000080000000"));
    Canvas canvas;
    canvas.load(file);
    QCOMPARE(canvas.image().size(), QSize(10, 3));
    QVERIFY(canvas.isBlack(0, 0));
    QVERIFY(canvas.isBlack(9, 2));
    QCOMPARE(blackCount(canvas, canvas.image().rect()), 2);
}

void CanvasTest::loadMakesBlackAndWhite_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<bool>("black");
    QTest::newRow("black") << qRgb(0, 0, 0) << true;
    QTest::newRow("1,1,1") << qRgb(1, 1, 1) << true;
    QTest::newRow("dark grey 127") << qRgb(127, 127, 127) << true;
    QTest::newRow("light grey 128") << qRgb(128, 128, 128) << false;
    QTest::newRow("red") << qRgb(255, 0, 0) << true;
    QTest::newRow("yellow") << qRgb(255, 255, 0) << false;
    QTest::newRow("white") << qRgb(255, 255, 255) << false;
    QTest::newRow("transparent black") << qRgba(0, 0, 0, 0) << false;
}

void CanvasTest::loadMakesBlackAndWhite()
{
    QFETCH(QRgb, colour);
    QFETCH(bool, black);
    QImage picture = filled(30, 20, qRgb(255, 255, 255));
    picture.setPixel(3, 4, colour);
    const QString file = tmp_.filePath("colour.png");
    QVERIFY(picture.save(file, "PNG"));
    Canvas canvas;
    canvas.load(file);
    QCOMPARE(canvas.image().size(), QSize(30, 20));
    QVERIFY(onlyBlackAndWhite(canvas.image()));
    QCOMPARE(canvas.isBlack(3, 4), black);
    QCOMPARE(blackCount(canvas, canvas.image().rect()), black ? 1 : 0);
}

void CanvasTest::loadFailureKeepsTheCanvas_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::newRow("missing") << "missing.bmp" << QByteArray();
    QTest::newRow("not a picture") << "text.bmp" << QByteArray("this is not a bitmap\n");
    QTest::newRow("truncated bitmap") << "cut.bmp" << QByteArray("BM\x10\x00\x00\x00", 6);
    // 62 bytes claiming 5600 x 5600 pixels: refused before half a gigabyte is spent on it.
    QByteArray huge("BM", 2);
    auto le = [&huge](quint32 v, int bytes) { for (int i = 0; i < bytes; ++i) huge.append(char((v >> (8 * i)) & 0xFF)); };
    le(54, 4); le(0, 4); le(54, 4);
    le(40, 4); le(5600, 4); le(5600, 4); le(1, 2); le(24, 2); le(0, 4); le(0, 4); le(2835, 4); le(2835, 4); le(0, 4); le(0, 4);
    huge.append(QByteArray(8, '\0'));
    QTest::newRow("header claiming a huge picture") << "huge.bmp" << huge;
}

void CanvasTest::loadFailureKeepsTheCanvas()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString file = tmp_.filePath(name);
    if (!content.isNull())
        writeFile(file, content);
    Canvas canvas;
    canvas.setPixel(5, 5, true);
    canvas.setPenWidth(4);
    const QImage before = canvas.image();
    try {
        canvas.load(file);
        QFAIL("loaded");
    } catch (const FileError& e) {
        QCOMPARE(e.file(), file);
        QVERIFY(!e.reason().isEmpty());
        QVERIFY(QString::fromUtf8(e.what()).contains(name));
    }
    QCOMPARE(canvas.image(), before);
    QCOMPARE(canvas.penWidth(), 4);
}

void CanvasTest::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("read-only folder") << "readonly";
    QTest::newRow("file size limit reached mid-write") << "fsize";
    QTest::newRow("folder missing") << "missing";
}

void CanvasTest::failedSaveKeepsTheOldFile()
{
    QFETCH(QString, how);
    const QString dir = tmp_.filePath("save-" + how);
    QVERIFY(QDir().mkpath(dir));
    QString file = dir + "/picture.bmp";
    Canvas good;
    good.setPixel(1, 1, true);
    good.save(file);
    const QByteArray goodBytes = readAll(file);

    Canvas other;
    other.setDrawingTool(DrawingTool::dtRectangle);
    other.DrawShape({0, 0}, {100, 100}, PenMode::pmCopy);

    rlimit oldLimit{};
    if (how == "readonly") {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
    } else if (how == "fsize") {
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
        rlimit small = oldLimit;
        small.rlim_cur = 1000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    } else {
        file = dir + "/no/such/folder/picture.bmp";
    }
    QString error;
    try {
        other.save(file);
    } catch (const FileError& e) {
        error = e.reason();
        QCOMPARE(e.file(), file);
        QVERIFY(QString::fromUtf8(e.what()).contains("picture.bmp"));
    }
    if (how == "fsize")
        setrlimit(RLIMIT_FSIZE, &oldLimit);
    if (how == "readonly")
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(!error.isEmpty(), "the save did not fail with a reason");
    QCOMPARE(readAll(dir + "/picture.bmp"), goodBytes);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"picture.bmp"});
}

void CanvasTest::workingBitmapAndUndo()
{
    QCOMPARE(workingBitmapPath(), tmp_.filePath("work/sub/korvel.bmp"));
    QVERIFY(!QFile::exists(workingBitmapPath()) || QFile::remove(workingBitmapPath()));
    QDir(tmp_.filePath("work")).removeRecursively();

    Canvas canvas;
    QVERIFY_THROWS_EXCEPTION(FileError, canvas.undo()); // no checkpoint yet
    canvas.setPixel(3, 3, true);
    canvas.SaveWorkingBitmap(); // creates the folders
    const QImage checkpoint = canvas.image();
    QVERIFY(QFile::exists(workingBitmapPath()));

    canvas.setDrawingTool(DrawingTool::dtRectangle);
    canvas.DrawShape({10, 10}, {50, 50}, PenMode::pmCopy);
    canvas.replacePicture(filled(20, 20, qRgb(0, 0, 0))); // an open changes the size
    canvas.undo();
    QCOMPARE(canvas.image(), checkpoint);
    canvas.undo();
    QCOMPARE(canvas.image(), checkpoint);

    const QByteArray home = qgetenv("KORVEL_WORKDIR");
    qunsetenv("KORVEL_WORKDIR");
    QCOMPARE(workingFolder(), QDir::homePath() + "/korvel");
    qputenv("KORVEL_WORKDIR", home);
}

void CanvasTest::workingFolderFailure()
{
    const QString blocker = tmp_.filePath("blocker");
    writeFile(blocker, "a file where the folder should be");
    const QByteArray saved = qgetenv("KORVEL_WORKDIR");
    qputenv("KORVEL_WORKDIR", QFile::encodeName(blocker + "/korvel"));
    Canvas canvas;
    try {
        canvas.SaveWorkingBitmap();
        QFAIL("wrote the working bitmap");
    } catch (const FileError& e) {
        QCOMPARE(e.file(), blocker + "/korvel");
        QVERIFY(!e.reason().isEmpty());
    }
    qputenv("KORVEL_WORKDIR", saved);
}

void CanvasTest::logoMaskInk_data()
{
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<bool>("ink");
    QTest::newRow("pure black") << qRgb(0, 0, 0) << true;
    QTest::newRow("1,1,1") << qRgb(1, 1, 1) << false;
    QTest::newRow("dark grey") << qRgb(40, 40, 40) << false;
    QTest::newRow("white") << qRgb(255, 255, 255) << false;
    QTest::newRow("red") << qRgb(255, 0, 0) << false;
    QTest::newRow("transparent black") << qRgba(0, 0, 0, 0) << false;
}

void CanvasTest::logoMaskInk()
{
    QFETCH(QRgb, colour);
    QFETCH(bool, ink);
    const QImage preview = filled(7, 5, colour);
    const QImage mask = korvel::image::logoMask(preview);
    QCOMPARE(mask.size(), QSize(7, 5));
    const QRgb expected = ink ? qRgb(255, 0, 0) : qRgb(255, 255, 255);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            QCOMPARE(mask.pixel(x, y), expected);
    Canvas canvas;
    canvas.stampMask(mask, {100, 100}, logoClipSize(mask.size()));
    QCOMPARE(blackCount(canvas, canvas.image().rect()), ink ? 35 : 0);
}

void CanvasTest::stampLogo()
{
    QCOMPARE(logoClipSize({300, 200}), QSize(240, 154));
    QCOMPARE(logoClipSize({50, 40}), QSize(50, 40));
    QCOMPARE(logoMask(QImage()).size(), QSize(0, 0));

    QImage preview = filled(10, 8, qRgb(30, 30, 30));
    preview.setPixel(2, 3, qRgb(0, 0, 0));
    preview.setPixel(9, 7, qRgb(0, 0, 0));
    const QImage mask = logoMask(preview);

    Canvas canvas;
    canvas.stampMask(mask, {10, 20}, logoClipSize(mask.size()));
    QVERIFY(canvas.isBlack(12, 23));
    QVERIFY(canvas.isBlack(19, 27));
    QCOMPARE(blackCount(canvas, canvas.image().rect()), 2);

    // Partly outside the canvas: the inside part lands, the rest is skipped.
    Canvas edge;
    edge.stampMask(mask, {-3, 150}, logoClipSize(mask.size()));
    QCOMPARE(blackCount(edge, edge.image().rect()), 0);
    edge.stampMask(mask, {231, 147}, logoClipSize(mask.size()));
    QVERIFY(edge.isBlack(233, 150));
    QCOMPARE(blackCount(edge, edge.image().rect()), 1);
}

void CanvasTest::stampTextCell_data()
{
    QTest::addColumn<BrushStyle>("brush");
    QTest::newRow("solid brush: white cell") << BrushStyle::bsSolid;
    QTest::newRow("clear brush: glyphs only") << BrushStyle::bsClear;
}

void CanvasTest::stampTextCell()
{
    QFETCH(BrushStyle, brush);
    QFont font("DejaVu Sans");
    font.setPixelSize(24);
    const QString text = "HIH";
    const QSize cell = Canvas::textCellSize(text, font);
    QVERIFY(cell.width() > 20 && cell.height() >= 24);
    const QPoint at(20, 30);
    const QRect cellRect(at, cell);

    // On white, the glyphs are black and stay within the cell.
    Canvas white;
    white.stampText(text, font, at, brush);
    QVERIFY(onlyBlackAndWhite(white.image()));
    const int ink = blackCount(white, cellRect);
    QVERIFY(ink > 30);
    QCOMPARE(blackCount(white, white.image().rect()), ink);

    // On black, a solid brush whitens the cell around the glyphs; a clear one changes nothing.
    Canvas black;
    black.replacePicture(filled(kColumns, kRows, qRgb(0, 0, 0)));
    black.stampText(text, font, at, brush);
    QVERIFY(onlyBlackAndWhite(black.image()));
    const int area = cell.width() * cell.height();
    if (brush == BrushStyle::bsSolid) {
        QCOMPARE(blackCount(black, cellRect), ink);
        QCOMPARE(black.image().copy(cellRect), white.image().copy(cellRect));
    } else {
        QCOMPARE(blackCount(black, cellRect), area);
    }
    QCOMPARE(blackCount(black, black.image().rect()) - blackCount(black, cellRect), kColumns * kRows - area);
}

void CanvasTest::stampPersianShapedRightToLeft()
{
    if (arabicFamily_.isEmpty())
        QSKIP("no font with Arabic script");
    QFont font(arabicFamily_);
    font.setPixelSize(40);
    const QString beh = QString(QChar(0x0628)), alef = QString(QChar(0x0627));

    // Joined: two behs drawn as one word differ from two isolated behs side by side.
    Canvas word, letters;
    word.stampText(beh + beh, font, {10, 10}, BrushStyle::bsSolid);
    letters.stampText(beh, font, {10, 10}, BrushStyle::bsSolid);
    letters.stampText(beh, font, {10 + Canvas::textCellSize(beh, font).width(), 10}, BrushStyle::bsSolid);
    QVERIFY(word.image() != letters.image());
    QVERIFY(onlyBlackAndWhite(word.image()));

    // Right to left: alef then beh puts the tall alef at the right.
    Canvas rtl;
    rtl.stampText(alef + beh, font, {10, 10}, BrushStyle::bsClear);
    int left = kColumns, right = -1, tallest = -1, tallestX = -1;
    for (int x = 0; x < kColumns; ++x) {
        int top = -1, bottom = -1;
        for (int y = 0; y < kRows; ++y)
            if (rtl.isBlack(x, y)) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
        if (top < 0)
            continue;
        left = std::min(left, x);
        right = std::max(right, x);
        if (bottom - top > tallest) {
            tallest = bottom - top;
            tallestX = x;
        }
    }
    QVERIFY(right > left);
    QVERIFY2(tallestX > (left + right) / 2, "the alef is not at the right");
}

QTEST_MAIN(CanvasTest)
#include "tst_canvas.moc"
