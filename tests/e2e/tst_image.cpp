// Picture in, picture out: what the canvas shows is what the printer receives.
#include <QComboBox>
#include <QImage>
#include <QJsonArray>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QPushButton>
#include <QToolButton>

#include "MainWindow.h"
#include "QtHooks.h"
#include "SimProcess.h"
#include "TestSeams.h"
#include "image/Canvas.h"
#include "printer/Messages.h"

namespace {
QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Pixel-for-pixel: black is black, everything else white.
bool samePicture(const QImage& a, const QImage& b, QString* where)
{
    if (a.size() != b.size()) {
        *where = QStringLiteral("size %1x%2 vs %3x%4").arg(a.width()).arg(a.height()).arg(b.width()).arg(b.height());
        return false;
    }
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((qGray(a.pixel(x, y)) == 0) != (qGray(b.pixel(x, y)) == 0)) {
                *where = QStringLiteral("pixel (%1, %2)").arg(x).arg(y);
                return false;
            }
    return true;
}
} // namespace

class ImageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSerialHooks(); }
    void init()
    {
        env.reset(new TestEnvironment);
        out = env->cwd() + QStringLiteral("/../sim-out");
        sim.reset(new SimProcess);
        QVERIFY(sim->start(env->portMap(), env->cwd() + QStringLiteral("/../sim.jsonl"),
                           {QStringLiteral("--out"), out, QStringLiteral("--save-step"), QStringLiteral("2")}));
        form.reset(new TForm1(&env->seams));
        form->show();
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29);
        env->seams.clear();
    }
    void cleanup()
    {
        form.reset();
        sim.reset();
        env.reset();
    }

    void drawnFigureAndStampedLogoArriveAsDrawn()
    {
        // A rectangle dragged on the canvas, with a rubber band on the way.
        form->findChild<QToolButton*>(QStringLiteral("RectangleButton"))->click();
        form->FormMouseDown(5, 3);
        form->FormMouseMove(100, 60);
        form->FormMouseMove(60, 40);
        form->FormMouseUp(60, 40);
        // A logo with pure black, grey and colour; only pure black is ink.
        QImage logo(30, 20, QImage::Format_RGB32);
        logo.fill(Qt::white);
        for (int x = 0; x < 30; ++x) {
            logo.setPixel(x, 0, qRgb(0, 0, 0));
            logo.setPixel(x, 10, qRgb(40, 40, 40));
            logo.setPixel(x, 19, qRgb(0, 0, 200));
        }
        const QString logoFile = env->cwd() + QStringLiteral("/logo.png");
        QVERIFY(logo.save(logoFile));
        env->seams.openAnswers.push_back(logoFile);
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton7"))->click();
        QLabel* mask = form->image_logo;
        mask->move(200, 130);
        QTest::mouseDClick(mask, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(form->canvas->isBlack(200, 130));
        QVERIFY(form->canvas->isBlack(229, 130));
        QVERIFY(!form->canvas->isBlack(210, 140)); // grey is no ink
        QVERIFY(!form->canvas->isBlack(210, 149)); // nor is blue

        const QImage shown = form->canvas->image();
        sendAndCompare(shown);
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgImageReady)), 5000);
        QVERIFY(!env->seams.allMessages().contains(msg(korvel::printer::kMsgImageError)));
        QVERIFY(!form->findChild<QProgressBar*>(QStringLiteral("status_send"))->isVisible());
    }

    void bitmapWrittenByAnotherProgramComesBackIdentical()
    {
        const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
        if (convert.isEmpty())
            QSKIP("ImageMagick is not installed");
        const QString file = env->cwd() + QStringLiteral("/other.bmp");
        QProcess im;
        im.start(convert, {QStringLiteral("-size"), QStringLiteral("240x154"), QStringLiteral("xc:white"),
                           QStringLiteral("-fill"), QStringLiteral("black"), QStringLiteral("-draw"),
                           QStringLiteral("rectangle 0,0 239,0"), QStringLiteral("-draw"),
                           QStringLiteral("circle 120,77 150,77"), QStringLiteral("-draw"),
                           QStringLiteral("point 0,153"), QStringLiteral("-type"), QStringLiteral("bilevel"),
                           QStringLiteral("BMP3:") + file});
        QVERIFY(im.waitForFinished(20000));
        QCOMPARE(im.exitCode(), 0);
        QImage original(file);
        QVERIFY(!original.isNull());
        env->seams.openAnswers.push_back(file);
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY(env->seams.allErrors().isEmpty());
        QString where;
        QVERIFY2(samePicture(form->canvas->image(), original.convertToFormat(QImage::Format_RGB32), &where), qPrintable(where));
        sendAndCompare(original.convertToFormat(QImage::Format_RGB32));
    }

    void stampedWordAndLayoutReachThePrinter()
    {
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton6"))->click(); // the overlay, empty at (0, 0)
        auto* farsi = form->findChild<QWidget*>(QStringLiteral("panel_farsi"));
        for (const QString& letter : {QStringLiteral("س"), QStringLiteral("ل"), QStringLiteral("ا"), QStringLiteral("م")})
            for (auto* key : farsi->findChildren<QToolButton*>())
                if (key->property("keyCaption").toString() == letter)
                    key->click();
        form->Label3->move(40, 60);
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton24"))->click(); // commit
        int black = 0;
        for (int y = 60; y < 100; ++y)
            for (int x = 40; x < 140; ++x)
                black += form->canvas->isBlack(x, y);
        QVERIFY2(black > 40, qPrintable(QString::number(black))); // the word is in the picture now

        for (const char* name : {"SpeedButton8", "SpeedButton9", "SpeedButton10"})
            form->findChild<QToolButton*>(QLatin1String(name))->click();
        QString expected = QStringLiteral("013");
        for (int i = 0; i < 3; ++i)
            expected += QStringLiteral("%1%2").arg(form->dateLabels[size_t(i)]->x(), 3, 10, QLatin1Char('0'))
                            .arg(form->dateLabels[size_t(i)]->y(), 3, 10, QLatin1Char('0'));
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton37"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("J")));
        QCOMPARE(sim->last(QStringLiteral("J")).value(QStringLiteral("params")).toArray().first().toString(), expected);
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgProductionDateSet)), 5000);
        sendAndCompare(form->canvas->image()); // the date fields are not drawn: only the word is
    }

    void storeInSlotDrivesTheProgressBar()
    {
        form->findChild<QRadioButton*>(QStringLiteral("RadioButton3"))->setChecked(true);
        auto* bar = form->findChild<QProgressBar*>(QStringLiteral("status_send"));
        bool shown = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] { shown = shown || bar->isVisible(); });
        probe.start(1);
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton27"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("s")));
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgSaved)), 8000);
        QCOMPARE(sim->last(QStringLiteral("s")).value(QStringLiteral("slot")).toInt(), 3);
        QVERIFY(env->seams.allMessages().contains(msg(korvel::printer::kMsgSaving)));
        QVERIFY(shown);
        QCOMPARE(bar->value(), 100); // one step per "%", all hundred of them
        QVERIFY(!bar->isVisible());
        QCOMPARE(bar->maximum(), 240);
    }

    void imageSequenceSendsTheSlot()
    {
        form->findChild<QRadioButton*>(QStringLiteral("RadioButton5"))->setChecked(true);
        form->findChild<QPushButton*>(QStringLiteral("Button141"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("S")));
        QCOMPARE(sim->last(QStringLiteral("S")).value(QStringLiteral("slot")).toInt(), 5);
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgSequenceSet)), 5000);
    }

private:
    void sendAndCompare(const QImage& expected)
    {
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton26"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("P"), 1, 20000));
        QTRY_VERIFY_WITH_TIMEOUT(sim->last(QStringLiteral("P")).contains(QStringLiteral("ok")), 20000);
        const QJsonObject p = sim->last(QStringLiteral("P"));
        QVERIFY2(p.value(QStringLiteral("ok")).toBool(), qPrintable(p.value(QStringLiteral("error")).toString()));
        QImage printed(p.value(QStringLiteral("png")).toString());
        QVERIFY(!printed.isNull());
        QString where;
        QVERIFY2(samePicture(printed, expected.copy(0, 0, 240, 154), &where), qPrintable(where));
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;
    QString out;
};

QTEST_MAIN(ImageTest)
#include "tst_image.moc"
