#include "QtHooks.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "serial/SerialPort.h"

void callOnThreadOf(QObject* context, const std::function<void()>& call)
{
    if (!context || QThread::currentThread() == context->thread()) {
        call();
        return;
    }
    struct Handover {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    // Ends the wait when the call has run, and also when Qt drops it unrun
    // because the context went away.
    struct Release {
        std::shared_ptr<Handover> handover;
        ~Release()
        {
            std::lock_guard lock(handover->mutex);
            handover->finished = true;
            handover->done.notify_one();
        }
    };
    auto handover = std::make_shared<Handover>();
    {
        std::lock_guard lock(handover->mutex); // publishes the caller's writes to the call
    }
    auto release = std::make_shared<Release>();
    release->handover = handover;
    QMetaObject::invokeMethod(context, [release, &call] {
        std::lock_guard lock(release->handover->mutex);
        call();
    }, Qt::QueuedConnection);
    release.reset();
    std::unique_lock lock(handover->mutex);
    handover->done.wait(lock, [&] { return handover->finished; });
}

void installSerialHooks()
{
    korvel::serial::MainThreadHooks hooks;
    hooks.syncCall = [](const std::function<void()>& call) { callOnThreadOf(QCoreApplication::instance(), call); };
    hooks.pumpEvents = [] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    };
    korvel::serial::setMainThreadHooks(std::move(hooks));
}
