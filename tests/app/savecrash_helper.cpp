// Opens a 1-bit bitmap in the window and saves it over and over, each time with
// a corner inverted, until it is killed: savecrash_helper PICTURE FOLDER.
// Prints "saving" just before each Save. With SAVECRASH_STOP_AT=N, the Nth Save
// writes half of its bytes to the picture's temporary file, prints "halfway"
// and waits there to be killed.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QToolButton>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>

#include <sys/syscall.h>
#include <unistd.h>

#include "MainWindow.h"
#include "TestSeams.h"

namespace {

std::atomic<bool> stopHalfway{false};
QByteArray temporaryPrefix; // "/canonical/folder/picture.bmp."

bool isPicturesTemporary(int fd)
{
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target);
    return n > temporaryPrefix.size() && std::memcmp(target, temporaryPrefix.constData(), size_t(temporaryPrefix.size())) == 0;
}

} // namespace

// Every write of the program passes here, so that the chosen Save stops in the
// middle of writing the picture, and the kill lands there every time.
extern "C" ssize_t write(int fd, const void* buf, size_t count)
{
    if (stopHalfway.load() && count > 1 && isPicturesTemporary(fd)) {
        ::syscall(SYS_write, fd, buf, count / 2);
        static const char said[] = "halfway\n";
        ::syscall(SYS_write, STDOUT_FILENO, said, sizeof said - 1);
        for (;;)
            ::pause();
    }
    return ::syscall(SYS_write, fd, buf, count);
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QString dir = QString::fromLocal8Bit(argv[2]);
    for (const char* sub : {"cwd", "korvel", "config", "ports"})
        QDir(dir).mkpath(QLatin1String(sub));
    QDir::setCurrent(dir + QStringLiteral("/cwd"));
    qputenv("KORVEL_WORKDIR", QFile::encodeName(dir + QStringLiteral("/korvel")));
    qputenv("KORVEL_CONFIG_DIR", QFile::encodeName(dir + QStringLiteral("/config")));
    qputenv("KORVEL_PORT_MAP", QFile::encodeName(dir + QStringLiteral("/ports")));
    const QFileInfo info(file);
    temporaryPrefix = QFile::encodeName(info.canonicalPath() + QLatin1Char('/') + info.fileName() + QLatin1Char('.'));
    const int stopAt = qEnvironmentVariableIntValue("SAVECRASH_STOP_AT");

    TestSeams seams;
    seams.openAnswers.push_back(file);
    TForm1 form(&seams);
    form.SpeedButton1->click();
    if (form.CurrentFile != file)
        return 3;
    for (int save = 1;; ++save) {
        form.changeCanvas([&form] {
            for (int y = 0; y < 100; ++y)
                for (int x = 0; x < 100; ++x)
                    form.canvas->setPixel(x, y, !form.canvas->isBlack(x, y));
        });
        std::fputs("saving\n", stdout);
        std::fflush(stdout);
        stopHalfway = save == stopAt;
        form.SpeedButton4->click();
        if (!seams.allErrors().isEmpty())
            return 4;
    }
}
