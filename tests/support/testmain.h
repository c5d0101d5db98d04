// How every test program runs its tests: GoogleTest, a broken pipe reported as an error
// instead of ending the program, and one watchdog for every test.
#pragma once

// A test that runs longer than this ends the program with its name on stderr instead of
// hanging the run. It lies just below CTest's limit of the normal build (300 s), so the
// name is seen; the longest tests take a fraction of it, under the sanitizers too.
constexpr unsigned kTestWatchdogSeconds = 290;

// Initialises GoogleTest with the arguments and runs every test.
int RunAllTests(int& argc, char** argv);
