// The main of the test programs that run with Qt Core alone, in temporary XDG folders.
#include "tempenv.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Keeps libVLC and Qt away from the real user's configuration and session.
    lyrevane::testing::TempXdg xdg;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
