// korvelctl through Debian's ser2net to the printer simulator: the simulator's
// pseudo-terminal bridged to a TCP port on 127.0.0.1, raw and RFC 2217.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QComboBox>
#include <QToolButton>

#include "MainWindow.h"
#include "QtHooks.h"
#include "Ser2net.h"
#include "SimProcess.h"
#include "StatusLine.h"
#include "TestSeams.h"
#include "printer/Messages.h"
#include "serial/PortMap.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Run {
    int code = -1;
    QString out, err;
};

QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

} // namespace

class Ser2netTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString map_;
    std::unique_ptr<SimProcess> sim_;
    Ser2net server_;
    QString pts_;

    Run ctl(const QStringList& args, int waitMs = 60000)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KORVEL_PORT_MAP"), map_);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KORVELCTL_PATH), args);
        Run r;
        if (!p.waitForFinished(waitMs)) {
            p.kill();
            p.waitForFinished(2000);
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

private slots:
    void initTestCase()
    {
        installSerialHooks();
        QVERIFY(dir_.isValid());
        map_ = dir_.filePath(QStringLiteral("ports"));
        QDir().mkpath(map_);
    }

    void init()
    {
        sim_ = std::make_unique<SimProcess>();
        QVERIFY(sim_->start(map_, dir_.filePath(QStringLiteral("sim.log"))));
        pts_ = QFile::symLinkTarget(map_ + QStringLiteral("/COM30"));
        QVERIFY(pts_.startsWith(QStringLiteral("/dev/pts/")));
    }
    void cleanup()
    {
        server_.stop();
        sim_.reset();
        QFile::remove(dir_.filePath(QStringLiteral("sim.log")));
    }

    void commandsGoThrough_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::newRow("raw") << false;
        QTest::newRow("rfc2217") << true;
    }
    void commandsGoThrough()
    {
        QFETCH(bool, rfc2217);
        QVERIFY(server_.start(pts_, rfc2217));
        Run r = ctl({QStringLiteral("map"), QStringLiteral("COM40"), server_.url()});
        QCOMPARE(r.code, 0);
        r = ctl({QStringLiteral("ports")});
        QVERIFY2(r.out.contains(QStringLiteral("COM40 -> ") + server_.url()), qPrintable(r.out));

        const QStringList port{QStringLiteral("--port"), QStringLiteral("COM40")};
        r = ctl(port + QStringList{QStringLiteral("settings")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        // The simulator's defaults: ink 5, count 2, delay after 7, initial delay 9, resolution 3.
        QVERIFY2(r.out.contains(QStringLiteral("ink 5\ncount 2\ndelay-after 7\n")), qPrintable(r.out));

        r = ctl(port + QStringList{QStringLiteral("set-date"), QStringLiteral("2025-03-07")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(sim_->waitFor(QStringLiteral("d")));
        QVERIFY(sim_->last(QStringLiteral("d")).value(QStringLiteral("ok")).toBool(true));
        QVERIFY(r.out.contains(msg(korvel::printer::kMsgDateSet)));

        r = ctl(port + QStringList{QStringLiteral("set"), QStringLiteral("ink"), QStringLiteral("200")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(sim_->waitFor(QStringLiteral("q")));
        QCOMPARE(sim_->last(QStringLiteral("q")).value(QStringLiteral("value")).toInt(), 200);

        QImage picture(240, 154, QImage::Format_RGB32);
        picture.fill(Qt::white);
        {
            QPainter painter(&picture);
            painter.fillRect(20, 30, 100, 50, Qt::black);
        }
        const QString file = dir_.filePath(QStringLiteral("picture.png"));
        QVERIFY(picture.save(file));
        r = ctl(port + QStringList{QStringLiteral("send-image"), file});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(sim_->waitFor(QStringLiteral("P")));
        QCOMPARE(sim_->last(QStringLiteral("P")).value(QStringLiteral("black")).toInt(), 100 * 50);

        r = ctl(port + QStringList{QStringLiteral("send-text"), QStringLiteral("KORVEL 42")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(sim_->waitFor(QStringLiteral("T")));
        // ASCII of "KORVEL 42", as the printer took it.
        QVERIFY(sim_->last(QStringLiteral("T")).value(QStringLiteral("hex")).toString().startsWith(
            QStringLiteral("4B 4F 52 56 45 4C 20 34 32")));
    }

    void restartedServerConnectsAgain_data() { commandsGoThrough_data(); }
    void restartedServerConnectsAgain()
    {
        QFETCH(bool, rfc2217);
        QVERIFY(server_.start(pts_, rfc2217));
        QCOMPARE(ctl({QStringLiteral("map"), QStringLiteral("COM40"), server_.url()}).code, 0);
        const QStringList connect{QStringLiteral("--port"), QStringLiteral("COM40"), QStringLiteral("connect")};
        QCOMPARE(ctl(connect).code, 0);
        const int port = server_.port();
        server_.stop();
        Run r = ctl(connect);
        QCOMPARE(r.code, 3);  // a line error
        QVERIFY2(r.err.contains(QStringLiteral("Cannot connect to COM40 . Connection refused")), qPrintable(r.err));
        QVERIFY(server_.start(pts_, rfc2217, port));
        r = ctl(connect);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(sim_->commands().count(QStringLiteral("!")), 2);
    }

    void windowLosesAndRegainsThePrinter()
    {
        // The window's own port map and working place; COM30 is the server's URL.
        TestEnvironment env;
        SimProcess sim;
        QVERIFY(sim.start(env.portMap(), env.cwd() + QStringLiteral("/../sim.jsonl")));
        const QString pts = QFile::symLinkTarget(env.portMap() + QStringLiteral("/COM30"));
        QVERIFY(server_.start(pts, true));
        korvel::serial::mapPort("COM30", server_.url().toStdString());
        auto form = std::make_unique<TForm1>(&env.seams);
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29);
        env.seams.clear();
        const QString connected = msg(korvel::printer::kMsgConnected);

        form->findChild<QToolButton*>(QStringLiteral("Image13"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(env.seams.allMessages().count(connected), 1, 10000);
        // The status line tells the server's address, and that the port is connected;
        // the name and the address between left-to-right isolates (U+2066 ... U+2069).
        const QString where = QStringLiteral("پورت \u2066COM30 — %1\u2069: ").arg(server_.url());
        QTRY_COMPARE(form->statusLine->portText(), where + QStringLiteral("متصل"));
        const int port = server_.port();
        server_.stop();
        // Told once, like an unplugged adapter.
        QTRY_COMPARE_WITH_TIMEOUT(env.seams.allErrors().size(), 1, 10000);
        QTRY_COMPARE(form->statusLine->portText(), where + QStringLiteral("متصل نیست"));
        QVERIFY2(env.seams.allErrors().first().contains(QStringLiteral("COM30")), qPrintable(env.seams.allErrors().first()));
        QTest::qWait(300);
        QCOMPARE(env.seams.allErrors().size(), 1);

        // The next command connects again.
        QVERIFY(server_.start(pts, true, port));
        form->findChild<QToolButton*>(QStringLiteral("Image13"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(env.seams.allMessages().count(connected), 2, 10000);
        QCOMPARE(sim.commands().count(QStringLiteral("!")), 2);
        QCOMPARE(env.seams.allErrors().size(), 1);
        form.reset();
    }

    void silentServerGivesNoReply()
    {
        // Accepts (the kernel completes the handshake) and never answers.
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        QCOMPARE(::listen(s, 4), 0);
        QCOMPARE(::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
        const QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(ntohs(a.sin_port));
        QCOMPARE(ctl({QStringLiteral("map"), QStringLiteral("COM41"), url}).code, 0);
        const Run r = ctl({QStringLiteral("--port"), QStringLiteral("COM41"), QStringLiteral("--timeout"),
                           QStringLiteral("1000"), QStringLiteral("connect")});
        ::close(s);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.out.contains(msg(korvel::printer::kMsgNoReply)), qPrintable(r.out));
    }

    void badUrlsAreRefused_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no port") << "tcp://127.0.0.1" << "the port number is missing";
        QTest::newRow("scheme") << "telnet://127.0.0.1:23" << "only tcp:// and rfc2217:// are known";
        QTest::newRow("port range") << "rfc2217://127.0.0.1:70000" << "the port must be a number from 1 to 65535";
    }
    void badUrlsAreRefused()
    {
        QFETCH(QString, url);
        QFETCH(QString, reason);
        const Run r = ctl({QStringLiteral("map"), QStringLiteral("COM42"), url});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Cannot map COM42 to ") + url + QStringLiteral(": ") + reason),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(map_ + QStringLiteral("/COM42")));
    }
};

QTEST_MAIN(Ser2netTest)
#include "tst_ser2net.moc"
