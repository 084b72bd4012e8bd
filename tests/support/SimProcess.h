// The printer simulator as a child process: started on a port of the test's
// port map, its JSON event log read back line by line.
#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

class SimProcess {
public:
    // extra: simulator flags; the log goes to logPath.
    bool start(const QString& portMap, const QString& logPath, const QStringList& extra = {},
               const QString& port = QStringLiteral("COM30"))
    {
        log = logPath;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KORVEL_PORT_MAP"), portMap);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        QStringList args{QStringLiteral("--port"), port, QStringLiteral("--log"), logPath};
        args << extra;
        process.start(QStringLiteral(PRINTER_SIM_PATH), args);
        if (!process.waitForStarted(5000))
            return false;
        process.setReadChannel(QProcess::StandardError);
        QDeadlineTimer deadline(10000);
        QByteArray err;
        while (!deadline.hasExpired()) {
            process.waitForReadyRead(100);
            err += process.readAllStandardError();
            if (err.contains("ready "))
                return true;
            if (process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }
    ~SimProcess() { stop(); }

    // Every event line logged so far.
    QList<QJsonObject> events() const
    {
        QList<QJsonObject> out;
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                out << QJsonDocument::fromJson(line).object();
        return out;
    }
    // The commands in order, as the simulator received them ("cmd" field).
    QStringList commands() const
    {
        QStringList out;
        for (const QJsonObject& e : events())
            if (e.contains(QStringLiteral("cmd")))
                out << e.value(QStringLiteral("cmd")).toString();
        return out;
    }
    // The last event for command letter cmd.
    QJsonObject last(const QString& cmd) const
    {
        QJsonObject found;
        for (const QJsonObject& e : events())
            if (e.value(QStringLiteral("cmd")).toString() == cmd)
                found = e;
        return found;
    }
    bool waitFor(const QString& cmd, int count = 1, int timeoutMs = 10000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (commands().count(cmd) >= count)
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    QProcess process;
    QString log;
};
