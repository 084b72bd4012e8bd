// The window connected to the simulator through Debian's ser2net (RFC 2217 on
// 127.0.0.1), its settings page photographed once the report has arrived and
// the status line tells the server's port connected:
// korvel-screenshot-ser2net OUTFILE. Starts and stops both itself.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QToolButton>

#include "MainWindow.h"
#include "QtHooks.h"
#include "Ser2net.h"
#include "SimProcess.h"
#include "StatusLine.h"
#include "TestSeams.h"
#include "serial/PortMap.h"

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installSerialHooks();
    // Taken before the private working place changes the current folder.
    const QString outFile =
        QFileInfo(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("ser2net-connected.png")).absoluteFilePath();
    TestEnvironment env;
    SimProcess sim;
    if (!sim.start(env.portMap(), env.cwd() + QStringLiteral("/../sim.jsonl"),
                   {QStringLiteral("--settings"), QStringLiteral("12,34,56,78,200")})) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    Ser2net server;
    if (!server.start(QFile::symLinkTarget(env.portMap() + QStringLiteral("/COM30")), true)) {
        std::fprintf(stderr, "ser2net did not start\n");
        return 1;
    }
    korvel::serial::mapPort("COM30", server.url().toStdString());

    TForm1 form(&env.seams);
    form.show();
    form.findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29); // COM30
    form.TabbedNotebook1->setCurrentIndex(2);
    form.findChild<QToolButton*>(QStringLiteral("Image13"))->click();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && sim.commands().count(QStringLiteral("u")) < 1)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    while (t.elapsed() < 10000 && env.seams.allMessages().isEmpty())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    // The report's values reach the track bars, its reply the status line.
    for (QElapsedTimer settle; settle.isValid() ? settle.elapsed() < 500 : (settle.start(), true);)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString port = form.statusLine->portText();
    std::printf("%s via %s: %s\n%s\n", qPrintable(outFile), qPrintable(server.url()),
                qPrintable(env.seams.allMessages().join(QStringLiteral(" | "))), qPrintable(port));
    if (port != QStringLiteral("پورت \u2066COM30 — %1\u2069: متصل").arg(server.url())) {
        std::fprintf(stderr, "the status line does not tell the port connected\n");
        return 1;
    }
    return form.grab().save(outFile) ? 0 : 1;
}
