// UTF-16 to UTF-8 for pango, keeping where each UTF-16 unit starts in the bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace winlayer {

// Lone surrogates become U+FFFD. `starts`, when given, receives for every UTF-16 unit the byte
// offset where its character begins.
inline std::string Utf8(std::u16string_view text, std::vector<int>* starts = nullptr) {
    std::string out;
    out.reserve(text.size() * 3);
    if (starts)
        starts->assign(text.size() + 1, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        if (starts)
            (*starts)[i] = static_cast<int>(out.size());
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
            if (starts)
                (*starts)[i] = (*starts)[i - 1];
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (starts)
        (*starts)[text.size()] = static_cast<int>(out.size());
    return out;
}

}  // namespace winlayer
