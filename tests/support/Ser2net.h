// Debian's ser2net as a child process: one TCP port on 127.0.0.1 bridged to a
// terminal, raw or telnet with RFC 2217. Started and stopped by the test itself.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

class Ser2net {
public:
    // A TCP port on 127.0.0.1 that nobody listens on just now.
    static int freePort()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        int port = 0;
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
            && ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        ::close(s);
        return port;
    }

    // Whether something listens on 127.0.0.1:port (read from the kernel, so
    // that the check opens no session on the server).
    static bool listening(int port)
    {
        QFile f(QStringLiteral("/proc/net/tcp"));
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QByteArray local = QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() > 3 && f[1] == local && f[3] == "0A")
                return true;
        }
        return false;
    }

    bool start(const QString& device, bool rfc2217, int port = 0)
    {
        stop();
        if (!dir_.isValid())
            return false;
        port_ = port ? port : freePort();
        rfc2217_ = rfc2217;
        const QString config = dir_.filePath(QStringLiteral("ser2net.yaml"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        f.write(QStringLiteral("%YAML 1.1\n---\nconnection: &printer\n"
                               "  accepter: %1tcp,127.0.0.1,%2\n"
                               "  connector: serialdev,%3,9600n81,local\n")
                    .arg(rfc2217 ? QStringLiteral("telnet(rfc2217),") : QString())
                    .arg(port_)
                    .arg(device)
                    .toUtf8());
        f.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // A test that crashes leaves no server behind.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(QStringLiteral("ser2net"), {QStringLiteral("-n"), QStringLiteral("-c"), config,
                                                  QStringLiteral("-P"), dir_.filePath(QStringLiteral("pid"))});
        if (!process_.waitForStarted(5000))
            return false;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            if (listening(port_))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(2000);
    }
    ~Ser2net() { stop(); }

    int port() const { return port_; }
    QString url() const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(rfc2217_ ? QStringLiteral("rfc2217") : QStringLiteral("tcp")).arg(port_);
    }
    QByteArray output() { return process_.readAll(); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    bool rfc2217_ = false;
};
