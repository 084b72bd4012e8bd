// One window, one printer, a shift's worth of work: a thousand settings, twenty
// pictures and fifty texts, every one acknowledged, and the memory flat.
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "MainWindow.h"
#include "QtHooks.h"
#include "SimProcess.h"
#include "TestSeams.h"
#include "serial/SerialPort.h"
#include "image/Canvas.h"
#include "printer/Messages.h"

using namespace korvel::printer;

namespace {
QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Resident memory in kB, from /proc/self/status.
qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}
} // namespace

class SoakTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSerialHooks(); }

    void thousandsOfCommandsAreAllAcknowledgedAndMemoryStaysFlat()
    {
        TestEnvironment env;
        SimProcess sim;
        QVERIFY(sim.start(env.portMap(), env.cwd() + QStringLiteral("/../sim.jsonl")));
        TForm1 form(&env.seams);
        form.findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29); // COM30
        // The writer keeps to the port's speed: at 921,600 bit/s a picture crosses in 0.17 s.
        form.SerialPort1->setBaudRate(korvel::serial::br921600);
        auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        // Ink on a picture, so each upload carries more than a blank page.
        form.canvas->setPixel(10, 10, true);

        // Ten rounds of 100 settings, 2 pictures and 5 texts; the first warms up.
        constexpr int kRounds = 10;
        qint64 warm = 0;
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < 100; ++i) {
                env.seams.clear();
                form.TrackBar4->setValue(1 + (round * 100 + i) % 255);
                click(form, "b5");
                QTRY_VERIFY2_WITH_TIMEOUT(env.seams.allMessages().contains(msg(kMsgInkSet)),
                                          qPrintable(describe(env.seams, round, i)), 5000);
            }
            for (int i = 0; i < 2; ++i) {
                env.seams.clear();
                click(form, "SpeedButton26");
                QTRY_VERIFY2_WITH_TIMEOUT(env.seams.allMessages().contains(msg(kMsgImageReady)),
                                          qPrintable(describe(env.seams, round, i)), 20000);
            }
            for (int i = 0; i < 5; ++i) {
                env.seams.clear();
                memo->setPlainText(QStringLiteral("KORVEL %1-%2 ^d").arg(round).arg(i));
                click(form, "SpeedButton30");
                QTRY_VERIFY2_WITH_TIMEOUT(env.seams.allMessages().contains(msg(kMsgTextReady)) &&
                                              env.seams.allMessages().contains(msg(kMsgTextReceived)),
                                          qPrintable(describe(env.seams, round, i)), 10000);
            }
            // Nothing else was said: no image error, no time-out, no line error.
            QTest::qWait(100);
            const QStringList last = env.seams.allMessages();
            QCOMPARE(last.size(), 2);
            QVERIFY(env.seams.allErrors().isEmpty());
            const qint64 rss = residentKb();
            qInfo("round %d: VmRSS %lld kB", round + 1, rss);
            if (round == 0)
                warm = rss;
        }
        const qint64 end = residentKb();
        qInfo("VmRSS after warm-up %lld kB, at the end %lld kB, growth %lld kB", warm, end, end - warm);
#ifndef __SANITIZE_ADDRESS__ // its quarantine keeps freed memory resident; LeakSanitizer judges leaks there
        QVERIFY2(end - warm < 20 * 1024, qPrintable(QStringLiteral("grew %1 kB").arg(end - warm)));
#endif

        // The printer heard every one of them.
        const QStringList heard = sim.commands();
        QCOMPARE(heard.count(QStringLiteral("q")), kRounds * 100);
        QCOMPARE(heard.count(QStringLiteral("P")), kRounds * 2);
        QCOMPARE(heard.count(QStringLiteral("T")), kRounds * 5);
        QCOMPARE(heard.count(QStringLiteral("!")), 1);
    }

private:
    static void click(TForm1& form, const char* name)
    {
        auto* button = form.findChild<QToolButton*>(QLatin1String(name));
        QVERIFY2(button, name);
        button->click();
    }
    static QString describe(const TestSeams& seams, int round, int i)
    {
        return QStringLiteral("round %1, command %2; messages: %3; errors: %4")
            .arg(round + 1)
            .arg(i + 1)
            .arg(seams.allMessages().join(QLatin1Char('|')), seams.allErrors().join(QLatin1Char('|')));
    }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
