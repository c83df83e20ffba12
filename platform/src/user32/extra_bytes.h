// Window and class extra bytes (cbWndExtra, cbClsExtra): values at byte offsets, read and
// replaced whole, as GetWindowLongPtrW and GetClassLongPtrW reach them with an index >= 0.
#pragma once

#include <windows.h>

#include <cstring>
#include <vector>

namespace winlayer {

// The T at byte `index` of `extra`; false, with ERROR_INVALID_INDEX set, when it does not fit.
template <typename T>
bool ReadExtra(const std::vector<BYTE>& extra, int index, T* value) {
    if (index < 0 || static_cast<size_t>(index) + sizeof(T) > extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
    std::memcpy(value, extra.data() + index, sizeof(T));
    return true;
}

// Replaces the T at byte `index`, with the one it held in *previous; false as ReadExtra.
template <typename T>
bool SwapExtra(std::vector<BYTE>& extra, int index, T value, T* previous) {
    if (!ReadExtra(extra, index, previous))
        return false;
    std::memcpy(extra.data() + index, &value, sizeof(T));
    return true;
}

}  // namespace winlayer
