// Leak-check suppressions for this test program: fontconfig and D-Bus keep process-wide caches
// that they never free; everything of our own is still checked.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\n";
}
