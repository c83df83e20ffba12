// ASCII case folding and trimming of header names, values and settings (C locale).
#pragma once

#include <string>
#include <string_view>

namespace oss {

// The white space of the C locale.
inline constexpr std::string_view kAsciiSpaces = " \t\n\r\f\v";

constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string LowerAscii(std::string text) {
    for (char& c : text) {
        c = LowerAscii(c);
    }
    return text;
}

// `text` without the characters of `spaces` at either end.
constexpr std::string_view Trim(std::string_view text, std::string_view spaces = kAsciiSpaces) {
    const auto first = text.find_first_not_of(spaces);
    if (first == std::string_view::npos) {
        return std::string_view();
    }
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

}  // namespace oss
