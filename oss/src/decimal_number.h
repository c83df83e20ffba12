// The unsigned decimal numbers of response headers (CRC-64 values, sizes, byte ranges).
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace oss {

// Nothing for any other text (empty, signed, blanks, letters) or a number that does not fit in
// 64 bits.
inline std::optional<uint64_t> DecimalNumber(std::string_view text) {
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace oss
