// Leak-check suppressions of the test programs (used only when they run
// under LeakSanitizer): SANE's test backend loses the buffer of a page that
// was started and then cancelled before it was read.
extern "C" const char* __lsan_default_suppressions() { return "leak:libsane-test.so\n"; }
