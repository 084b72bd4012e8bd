#include "MainWindow.h"
#include "QtHooks.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installSerialHooks();
    TForm1 form;
    form.show();
    return app.exec();
}
