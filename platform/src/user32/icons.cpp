// Where WM_SETICON finds an icon's pixels.
#include "user32/icons.h"

#include <atomic>

namespace winlayer {
namespace {

std::atomic<IconImageSource> source{nullptr};

}  // namespace

void SetIconImageSource(IconImageSource newSource) {
    source.store(newSource);
}

IconImage IconImageOf(HICON icon) {
    IconImageSource current = source.load();
    return current != nullptr && icon != nullptr ? current(icon) : IconImage{};
}

}  // namespace winlayer
