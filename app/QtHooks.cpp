#include "QtHooks.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "serial/SerialPort.h"

void installSerialHooks()
{
    korvel::serial::MainThreadHooks hooks;
    hooks.syncCall = [](const std::function<void()>& call) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() == app->thread()) {
            call();
            return;
        }
        QMetaObject::invokeMethod(app, call, Qt::BlockingQueuedConnection);
    };
    hooks.pumpEvents = [] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    };
    korvel::serial::setMainThreadHooks(std::move(hooks));
}
