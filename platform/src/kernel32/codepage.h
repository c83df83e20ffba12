// Text conversions between the code pages the layer serves (936, 950, UTF-8) and UTF-16.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace winlayer {

// The ANSI code page of this system.
inline constexpr UINT kAnsiCodePage = 936;

// Decodes bytes of a code page. Invalid sequences become U+FFFD (UTF-8) or '?' (other code pages),
// or make the call fail when `strict` is set. Null for a code page the layer does not serve.
std::optional<std::u16string> DecodeCodePage(UINT codePage, std::string_view bytes, bool strict,
                                             bool* invalid = nullptr);

// Encodes UTF-16 text. A character the code page cannot represent becomes `defaultChar`
// (and sets *usedDefault); lone surrogates become U+FFFD in UTF-8, or fail when `strict`.
std::optional<std::string> EncodeCodePage(UINT codePage, std::u16string_view text, bool strict,
                                          std::string_view defaultChar = "?",
                                          bool* usedDefault = nullptr);

std::u16string WideFromAnsi(std::string_view ansi);
std::string AnsiFromWide(std::u16string_view wide);
std::u16string WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::u16string_view wide);
std::string Utf8FromAnsi(std::string_view ansi);
std::string AnsiFromUtf8(std::string_view utf8);

// Length of a NUL-terminated UTF-16 string.
size_t WideLength(const WCHAR* text);

}  // namespace winlayer
