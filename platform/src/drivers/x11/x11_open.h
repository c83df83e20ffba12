// Opening the x11 display driver, for the driver choice at start; free of X headers.
#pragma once

#include "drivers/display_driver.h"

#include <memory>
#include <string>

namespace winlayer::x11 {

// Opens the display named by DISPLAY. Null, with the reason in *why, when it cannot be opened.
std::unique_ptr<DisplayDriver> OpenDisplayDriver(std::string* why);

}  // namespace winlayer::x11
