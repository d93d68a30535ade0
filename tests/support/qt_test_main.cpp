// The tests of the Qt backend: widgets drawn offscreen unless a platform is
// named, with the Qt desktop chosen before the first test.
#include <stdlib.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "framework/window_system.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    using molvar::framework::WindowSystem;
    if (molvar::framework::StartWindowSystem(molvar::framework::WindowSystemUse::DialogsOnly) != WindowSystem::Qt) {
        std::fputs("qt tests: Qt could not start\n", stderr);
        return 1;
    }
    const int status = RUN_ALL_TESTS();
    molvar::framework::EndWindowSystem();
    return status;
}
