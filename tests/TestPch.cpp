// The object the test programs' precompiled header is made with (tests/CMakeLists.txt).
