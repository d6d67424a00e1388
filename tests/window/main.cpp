// One program for every test of the real main window; CTest runs it once per suite.
#include "../support/windowtests.h"

int main(int argc, char** argv) {
    return lyrevane::testing::RunWindowTests(argc, argv);
}
