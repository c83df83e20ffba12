// The display driver of the process, chosen once: WINLAYER_DISPLAY=headless|x11. For now every
// process runs headless.
#include "drivers/display_driver.h"

#include "drivers/headless/headless_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace winlayer {
namespace {

std::unique_ptr<DisplayDriver> ChooseDriver() {
    const char* choice = std::getenv("WINLAYER_DISPLAY");
    if (choice != nullptr && *choice != 0 && std::strcmp(choice, "headless") != 0)
        std::fprintf(stderr, "[display] %s is not available; running headless\n", choice);
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
