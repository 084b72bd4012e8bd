// Qt is not built with the thread sanitizer: waits inside it are invisible,
// so the QtTest watchdog thread's own hand-offs look like races at exit.
// Only those are silenced.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n"
           "called_from_lib:libQt6Test.so.6\n";
}
#endif
