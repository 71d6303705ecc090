#include <QApplication>
#include <gtest/gtest.h>

// Widget tests need a QApplication (scripts/test runs them on the offscreen
// platform); the shared test main only makes a QCoreApplication.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
