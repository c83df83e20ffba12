// The x11 end-to-end tests' entry point. Each run (CTest runs every case in a process of its own)
// starts itself again under tools/xvfb-session, so it has a virtual display that no other test
// shares, and uses the x11 driver on it. Listing the tests needs no display.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing |= std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
    if (!listing && !std::getenv("XVFB_SESSION_PID")) {
        char self[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            return 1;
        self[n] = 0;
        std::vector<char*> args{const_cast<char*>(XVFB_SESSION), const_cast<char*>("--"), self};
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(XVFB_SESSION, args.data());
        std::perror("cannot start " XVFB_SESSION);
        return 1;
    }
    // A test that runs this binary again for another display (E2E_CHILD) sets the display itself.
    if (!std::getenv("E2E_CHILD"))
        setenv("WINLAYER_DISPLAY", "x11", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
