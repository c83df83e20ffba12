// The display driver of the process, chosen once: WINLAYER_DISPLAY=x11|headless; unset, x11 when
// DISPLAY names a display that opens, else headless. A display that was asked for (by either
// variable) but cannot be opened is said once on stderr, and the process goes on headless.
#include "drivers/display_driver.h"

#include "drivers/headless/headless_driver.h"
#include "drivers/x11/x11_open.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace winlayer {
namespace {

std::unique_ptr<DisplayDriver> ChooseDriver() {
    const char* choice = std::getenv("WINLAYER_DISPLAY");
    if (choice == nullptr || *choice == 0) {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0)
            return MakeHeadlessDriver();
        choice = "x11";
    }
    if (std::strcmp(choice, "headless") == 0)
        return MakeHeadlessDriver();
    if (std::strcmp(choice, "x11") != 0) {
        std::fprintf(stderr, "[display] %s is not available; running headless\n", choice);
        return MakeHeadlessDriver();
    }
    std::string why;
    if (auto x11 = x11::OpenDisplayDriver(&why))
        return x11;
    std::fprintf(stderr, "[display] %s; running headless\n", why.c_str());
    return MakeHeadlessDriver();
}

DisplayDriver* TheDisplay() {
    // Never destroyed: threads may still reach it while the process exits.
    static DisplayDriver* display = ChooseDriver().release();
    return display;
}

}  // namespace

DisplayDriver& Display() {
    return *TheDisplay();
}

HeadlessDriver* Headless() {
    return dynamic_cast<HeadlessDriver*>(TheDisplay());
}

}  // namespace winlayer
