// The test programs' precompiled header is made for this program (tests/CMakeLists.txt); it
// holds no tests, and its main is the test programs' own.
