#pragma once

// Lets the serial component reach the UI thread: a blocking queued call and a pump of the event queue.
void installSerialHooks();
