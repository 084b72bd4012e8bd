#pragma once

#include <functional>

class QObject;

// Lets the serial component reach the UI thread: a blocking queued call and a pump of the event queue.
void installSerialHooks();

// Runs call on context's thread and waits for it (at once when already there).
// The hand-over goes through a std::mutex both ways, so that what the caller
// wrote before is visible to the call and the call's writes to the caller, also
// to ThreadSanitizer, which cannot see inside Qt's own queue.
void callOnThreadOf(QObject* context, const std::function<void()>& call);
