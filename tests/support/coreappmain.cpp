// The main of the test programs that need a Qt Core event loop and keep the environment
// they are started in (a private session bus, the test run's display).
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
