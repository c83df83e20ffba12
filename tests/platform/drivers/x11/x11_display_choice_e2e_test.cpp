// The display a process chooses at start: WINLAYER_DISPLAY, else x11 when DISPLAY opens; a
// display that cannot be opened is said once, and the process goes on headless.
#include "x11_e2e_support.h"

#include "drivers/headless/headless_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(X11DisplayChoice, FollowsTheEnvironment) {
    const std::string display = std::getenv("DISPLAY");
    struct Case {
        std::string env;
        const char* expected;  // what the child reports
        int said;              // lines about the display on stderr
    } cases[] = {
        {"-u WINLAYER_DISPLAY DISPLAY=" + display, "display: x11", 0},
        {"WINLAYER_DISPLAY=x11 DISPLAY=" + display, "display: x11", 0},
        {"WINLAYER_DISPLAY=headless DISPLAY=" + display, "display: headless", 0},
        {"-u WINLAYER_DISPLAY -u DISPLAY", "display: headless", 0},
        // A display that does not exist: said once (two windows are made), then headless.
        {"-u WINLAYER_DISPLAY DISPLAY=:4711", "display: headless", 1},
        {"-u DISPLAY WINLAYER_DISPLAY=x11", "display: headless", 1},
    };
    for (const Case& c : cases) {
        e2e::CommandResult r = e2e::RunSelf(c.env, "X11DisplayChoice.DISABLED_ReportsItsDisplay");
        EXPECT_EQ(r.status, 0) << c.env << "\n" << r.out;
        EXPECT_EQ(Count(r.out, c.expected), 1) << c.env << "\n" << r.out;
        EXPECT_EQ(Count(r.out, "[display]"), c.said) << c.env << "\n" << r.out;
    }
}

// Run by the test above: two windows painted, then which driver showed them.
TEST(X11DisplayChoice, DISABLED_ReportsItsDisplay) {
    for (int i = 0; i < 2; ++i) {
        e2e::UiWindow window({});
        ASSERT_TRUE(window.log.WaitFor(WM_PAINT));
    }
    std::printf("display: %s\n", winlayer::Headless() ? "headless" : "x11");
}

}  // namespace
