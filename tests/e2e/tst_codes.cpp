// Codes made on the canvas and by korvelctl, read back by zxing-cpp from the
// picture the printer simulator received.
#include <QComboBox>
#include <QImage>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "CodeReader.h"
#include "CodeTool.h"
#include "MainWindow.h"
#include "QtHooks.h"
#include "SimProcess.h"
#include "serial/SerialPort.h"
#include "TestSeams.h"
#include "image/Canvas.h"

#ifndef KORVELCTL_PATH
#define KORVELCTL_PATH "" // a build without the tools
#endif

using korvel::image::Symbology;
Q_DECLARE_METATYPE(korvel::image::Symbology)

namespace {
struct Case {
    Symbology symbology;
    const char* name;
    const char* key;
    QByteArray data;
    int largest; // the largest module size the 240 x 154 canvas holds for this data
    QPoint quiet; // the quiet zone left and above, in modules; the symbol's corner is ink
};
// Linear codes are wide: with their quiet zones EAN-13 is 113 modules and
// Code 128 at least 55 (66 for two digits), so module sizes above 2 (3) leave the canvas.
const Case kCases[] = {
    {Symbology::QrCode, "QR", "qr", "KORVEL LOT 0042 \xd8\xb3\xd9\x84\xd8\xa7\xd9\x85", 4, {4, 4}},
    {Symbology::DataMatrix, "Data Matrix", "datamatrix", "LOT 2026-12-10 #17", 4, {1, 1}},
    {Symbology::Gs1DataMatrix, "GS1 Data Matrix", "gs1-datamatrix", "(01)09501101530003(17)260101(10)AB12", 4, {1, 1}},
    {Symbology::Code128, "Code 128", "code128", "AB-12", 2, {10, 0}},
    // Two digits are one code set C symbol: 46 modules and the quiet zones, 198 dots at size 3.
    {Symbology::Code128, "Code 128 short", "code128", "12", 3, {10, 0}},
    {Symbology::Gs1_128, "GS1-128", "gs1-128", "(10)12", 2, {10, 0}},
    {Symbology::Ean13, "EAN-13", "ean13", "5901234123457", 2, {11, 0}},
};

void addCaseRows(bool allModules)
{
    QTest::addColumn<Symbology>("symbology");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("largest");
    QTest::addColumn<QPoint>("quiet");
    for (const Case& c : kCases)
        for (int m = 1; m <= (allModules ? 4 : 1); ++m)
            QTest::addRow("%s module %d", c.name, m) << c.symbology << QString::fromLatin1(c.key) << c.data << m
                                                     << c.largest << c.quiet;
}

struct Run {
    int code;
    QString out, err;
};
Run korvelctl(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(KORVELCTL_PATH), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

class CodesE2eTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        installSerialHooks();
        env.reset(new TestEnvironment);
        sim.reset(new SimProcess);
        QVERIFY(sim->start(env->portMap(), env->cwd() + QStringLiteral("/../sim.jsonl"),
                           {QStringLiteral("--out"), env->cwd() + QStringLiteral("/../sim-out")}));
        form.reset(new TForm1(&env->seams));
        // The writer keeps to the port's speed: at 921,600 bit/s a picture crosses in 0.17 s.
        form->SerialPort1->setBaudRate(korvel::serial::br921600);
        form->show();
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29);
    }
    void cleanupTestCase()
    {
        form.reset();
        ctlSim.reset();
        sim.reset();
        env.reset();
    }
    void init() { env->seams.clear(); }

    void codeOnTheCanvasReachesThePrinterReadable_data() { addCaseRows(true); }
    void codeOnTheCanvasReachesThePrinterReadable()
    {
        QFETCH(Symbology, symbology);
        QFETCH(QByteArray, data);
        QFETCH(int, module);
        QFETCH(int, largest);
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton3"))->click(); // a blank canvas
        CodeTool* tool = form->codeTool;
        if (!tool->panel->isVisible())
            form->findChild<QToolButton*>(QStringLiteral("SpeedButtonCode"))->click();
        auto* kind = form->findChild<QComboBox*>(QStringLiteral("codeSymbology"));
        kind->setCurrentIndex(kind->findData(int(symbology)));
        form->findChild<QSpinBox*>(QStringLiteral("codeModule"))->setValue(module);
        form->findChild<QLineEdit*>(QStringLiteral("codeData"))->setText(QString::fromUtf8(data));
        tool->moveTo(QPoint(7, 5));
        for (int i = 0; i < 3; ++i)
            form->findChild<QToolButton*>(QStringLiteral("codeRight"))->click();
        form->findChild<QToolButton*>(QStringLiteral("codeCommit"))->click();
        if (module > largest) {
            QCOMPARE(env->seams.allMessages().size(), 1);
            QVERIFY2(env->seams.allMessages().first().endsWith(QString::number(largest)),
                     qPrintable(env->seams.allMessages().first()));
            QVERIFY(form->canvas->image() == korvel::image::Canvas().image()); // nothing stamped
            return;
        }
        QVERIFY2(env->seams.allMessages().isEmpty(), qPrintable(env->seams.allMessages().join(QLatin1Char('\n'))));
        QFETCH(QPoint, quiet);
        // Placed at (7, 5) and nudged three to the right; the first ink after the quiet zone.
        const QPoint corner = QPoint(10, 5) + quiet * module;
        QVERIFY(form->canvas->isBlack(corner.x(), corner.y()));
        QVERIFY(!form->canvas->isBlack(corner.x() - 1, corner.y()));
        const QImage printed = sendPicture();
        QVERIFY(!printed.isNull());
        const auto read = readCode(printed, korvel::image::isGs1(symbology));
        QVERIFY(read);
        QCOMPARE(QString::fromStdString(read->text),
                 QString::fromStdString(expectedRead(data.toStdString(), korvel::image::isGs1(symbology))));
        QCOMPARE(readAsGs1(*read), korvel::image::isGs1(symbology));
    }

    void dateFieldOverACodeIsTold()
    {
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton3"))->click();
        if (!form->codeTool->panel->isVisible())
            form->findChild<QToolButton*>(QStringLiteral("SpeedButtonCode"))->click();
        auto* kind = form->findChild<QComboBox*>(QStringLiteral("codeSymbology"));
        kind->setCurrentIndex(kind->findData(int(Symbology::QrCode)));
        form->findChild<QSpinBox*>(QStringLiteral("codeModule"))->setValue(3);
        form->findChild<QLineEdit*>(QStringLiteral("codeData"))->setText(QStringLiteral("date here?"));
        form->codeTool->moveTo(QPoint(0, 0));
        QVERIFY(form->codeTool->commit());
        env->seams.clear();
        form->placingButtons[0]->click(); // the production year goes to its place at the top left
        QCOMPARE(env->seams.allMessages().size(), 1);
        QVERIFY(env->seams.allMessages().first().contains(QStringLiteral("کد")));
        form->placingButtons[0]->click(); // parked again
        // Once the code is gone from the picture nothing is told.
        form->canvas->newCanvas();
        env->seams.clear();
        form->placingButtons[0]->click();
        QVERIFY(env->seams.allMessages().isEmpty());
        form->placingButtons[0]->click();
    }

    void ditheredPhotographArrivesAsShown()
    {
        QImage photo(480, 308, QImage::Format_RGB32); // a grey ramp each way, twice the canvas
        for (int y = 0; y < 308; ++y)
            for (int x = 0; x < 480; ++x)
                photo.setPixel(x, y, qRgb(x * 255 / 479, y * 255 / 307, 128));
        const QString file = env->cwd() + QStringLiteral("/photo.png");
        QVERIFY(photo.save(file));
        form->choosePictureConversion = [](const QImage&) {
            korvel::image::PictureChoice c;
            c.way = korvel::image::BlackWhiteWay::Dither;
            c.fit = true;
            return std::optional<korvel::image::PictureChoice>(c);
        };
        env->seams.openAnswers.push_back(file);
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton1"))->click();
        form->choosePictureConversion = nullptr;
        const QImage shown = form->canvas->image();
        QCOMPARE(shown.size(), QSize(240, 154));
        const QImage printed = sendPicture().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(printed.size(), QSize(240, 154));
        int black = 0;
        for (int y = 0; y < 154; ++y)
            for (int x = 0; x < 240; ++x) {
                QCOMPARE(qGray(printed.pixel(x, y)) < 128, form->canvas->isBlack(x, y));
                black += form->canvas->isBlack(x, y);
            }
        QVERIFY2(black > 240 * 154 / 4 && black < 240 * 154 * 3 / 4, qPrintable(QString::number(black)));
    }

    void korvelctlCodeIsReadBackAndSent_data() { addCaseRows(false); }
    void korvelctlCodeIsReadBackAndSent()
    {
        if (!*KORVELCTL_PATH)
            QSKIP("korvelctl is not built here");
        QFETCH(Symbology, symbology);
        QFETCH(QString, key);
        QFETCH(QByteArray, data);
        const QString file = env->cwd() + QStringLiteral("/code-%1.bmp").arg(key);
        const Run made = korvelctl({QStringLiteral("code"), QStringLiteral("--type"), key, QStringLiteral("--data"),
                                    QString::fromUtf8(data), QStringLiteral("--module"), QStringLiteral("1"),
                                    QStringLiteral("--at"), QStringLiteral("20,9"), QStringLiteral("--out"), file});
        QVERIFY2(made.code == 0, qPrintable(made.err));
        const QImage bmp(file);
        QCOMPARE(bmp.size(), QSize(240, 154));
        QCOMPARE(bmp.depth(), 1);
        const QString expected = QString::fromStdString(expectedRead(data.toStdString(), korvel::image::isGs1(symbology)));
        auto read = readCode(bmp, korvel::image::isGs1(symbology));
        QVERIFY(read);
        QCOMPARE(QString::fromStdString(read->text), expected);
        QCOMPARE(readAsGs1(*read), korvel::image::isGs1(symbology));

        // send-image keeps to the printer's 9600 bit/s, 16.5 s a picture: one symbology shows that
        // korvelctl's file goes through as made; the canvas test sends every one.
        if (symbology != Symbology::Gs1DataMatrix)
            return;
        // The window holds COM30; korvelctl gets a printer of its own.
        if (!ctlSim) {
            ctlSim.reset(new SimProcess);
            QVERIFY(ctlSim->start(env->portMap(), env->cwd() + QStringLiteral("/../sim31.jsonl"),
                                  {QStringLiteral("--out"), env->cwd() + QStringLiteral("/../sim31-out")},
                                  QStringLiteral("COM31")));
        }
        const int before = ctlSim->commands().count(QStringLiteral("P"));
        const Run sent = korvelctl({QStringLiteral("--port"), QStringLiteral("COM31"), QStringLiteral("send-image"), file});
        QVERIFY2(sent.code == 0, qPrintable(sent.err));
        QVERIFY(ctlSim->waitFor(QStringLiteral("P"), before + 1));
        read = readCode(QImage(ctlSim->last(QStringLiteral("P")).value(QStringLiteral("png")).toString()),
                        korvel::image::isGs1(symbology));
        QVERIFY(read);
        QCOMPARE(QString::fromStdString(read->text), expected);
    }

    void korvelctlPutsTheCodeOntoAPicture()
    {
        if (!*KORVELCTL_PATH)
            QSKIP("korvelctl is not built here");
        QImage base(300, 200, QImage::Format_RGB32); // larger: its top left 240 x 154 is kept
        base.fill(Qt::white);
        for (int x = 0; x < 300; ++x)
            base.setPixel(x, 150, qRgb(0, 0, 0));
        const QString onto = env->cwd() + QStringLiteral("/onto.png"), file = env->cwd() + QStringLiteral("/onto-code.bmp");
        QVERIFY(base.save(onto));
        const Run made = korvelctl({QStringLiteral("code"), QStringLiteral("--type"), QStringLiteral("datamatrix"),
                                    QStringLiteral("--data"), QStringLiteral("onto"), QStringLiteral("--module"),
                                    QStringLiteral("3"), QStringLiteral("--at"), QStringLiteral("100,112"),
                                    QStringLiteral("--onto"), onto, QStringLiteral("--out"), file});
        QVERIFY2(made.code == 0, qPrintable(made.err));
        const QImage bmp = QImage(file).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(bmp.size(), QSize(240, 154));
        QCOMPARE(bmp.pixel(0, 150), qRgb(0, 0, 0));
        QCOMPARE(bmp.pixel(239, 150), qRgb(0, 0, 0));
        QCOMPARE(bmp.pixel(100, 150), qRgb(255, 255, 255)); // under the code's quiet zone
        QCOMPARE(bmp.pixel(103, 150), qRgb(0, 0, 0));       // the finder's solid bottom edge
        QVERIFY(readCode(bmp.copy(100, 112, 42, 42), false));
        QCOMPARE(readCode(bmp.copy(100, 112, 42, 42), false)->text, std::string("onto"));
    }

    void korvelctlRefusesWithTheReason_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("wrong check digit") << QStringList{QStringLiteral("--type"), QStringLiteral("ean13"), QStringLiteral("--data"), QStringLiteral("5901234123458"), QStringLiteral("--module"), QStringLiteral("1")} << "check digit";
        QTest::newRow("too large") << QStringList{QStringLiteral("--type"), QStringLiteral("ean13"), QStringLiteral("--data"), QStringLiteral("5901234123457"), QStringLiteral("--module"), QStringLiteral("3")} << "the largest module that fits is 2";
        QTest::newRow("leaves the canvas") << QStringList{QStringLiteral("--type"), QStringLiteral("qr"), QStringLiteral("--data"), QStringLiteral("A"), QStringLiteral("--module"), QStringLiteral("2"), QStringLiteral("--at"), QStringLiteral("200,0")} << "leaves the 240 x 154 canvas";
        QTest::newRow("no such type") << QStringList{QStringLiteral("--type"), QStringLiteral("pdf417"), QStringLiteral("--data"), QStringLiteral("A"), QStringLiteral("--module"), QStringLiteral("2")} << "--type is";
    }
    void korvelctlRefusesWithTheReason()
    {
        if (!*KORVELCTL_PATH)
            QSKIP("korvelctl is not built here");
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        const QString file = env->cwd() + QStringLiteral("/refused.bmp");
        const Run r = korvelctl(QStringList{QStringLiteral("code")} + args + QStringList{QStringLiteral("--out"), file});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QVERIFY(!QFile::exists(file));
    }

private:
    // Sends the canvas; the picture the simulator received.
    QImage sendPicture()
    {
        const int before = sim->commands().count(QStringLiteral("P"));
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton26"))->click();
        if (!sim->waitFor(QStringLiteral("P"), before + 1, 20000))
            return {};
        if (!QTest::qWaitFor([this] { return sim->last(QStringLiteral("P")).contains(QStringLiteral("ok")); }, 20000))
            return {};
        // The window has finished the upload before the next may start.
        if (!QTest::qWaitFor([this] { return !form->findChild<QWidget*>(QStringLiteral("status_send"))->isVisible(); }, 20000))
            return {};
        return QImage(sim->last(QStringLiteral("P")).value(QStringLiteral("png")).toString());
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SimProcess> sim, ctlSim;
    std::unique_ptr<TForm1> form;
};

QTEST_MAIN(CodesE2eTest)
#include "tst_codes.moc"
