// The main of the test programs that need nothing but GoogleTest.
#include "tests/support/testmain.h"

int main(int argc, char** argv) { return RunAllTests(argc, argv); }
