// Opens a 1-bit bitmap in the window and saves it over and over, each time with
// a corner inverted, until it is killed: savecrash_helper PICTURE FOLDER.
// Prints "saving" just before each Save.
#include <QApplication>
#include <QDir>
#include <QToolButton>

#include <cstdio>

#include "MainWindow.h"
#include "TestSeams.h"

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

    TestSeams seams;
    seams.openAnswers.push_back(file);
    TForm1 form(&seams);
    form.SpeedButton1->click();
    if (form.CurrentFile != file)
        return 3;
    for (;;) {
        form.changeCanvas([&form] {
            for (int y = 0; y < 100; ++y)
                for (int x = 0; x < 100; ++x)
                    form.canvas->setPixel(x, y, !form.canvas->isBlack(x, y));
        });
        std::fputs("saving\n", stdout);
        std::fflush(stdout);
        form.SpeedButton4->click();
        if (!seams.allErrors().isEmpty())
            return 4;
    }
}
