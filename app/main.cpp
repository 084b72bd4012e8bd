#include "MainWindow.h"
#include "QtHooks.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/logo.svg"))); // the menu entry's icon
    QApplication::setDesktopFileName(QStringLiteral("ir.korvel.Korvel"));
    installSerialHooks();
    TForm1 form;
    form.show();
    return app.exec();
}
