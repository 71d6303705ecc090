// The end-to-end tests' main(): the lab network first, while the process
// has a single thread (a namespace change affects only the calling thread).
#include "LabNetwork.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    e2e::EnterLab();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
