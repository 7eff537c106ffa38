// Leak-check suppressions for this test program: the H.265 encoder library never frees the
// copies of its own string settings; everything of our own is still checked.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265\n";
}
