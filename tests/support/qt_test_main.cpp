// The main of the tests that need Qt: Google Test inside a QApplication, so that
// widgets, timers and the media backend work in every test.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
