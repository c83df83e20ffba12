// MultiByteToWideChar and WideCharToMultiByte over iconv, with Win32's size and error rules.
#include "kernel32/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace winlayer {
namespace {

struct IconvCloser {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

const char* IconvName(UINT codePage) {
    switch (codePage) {
        case CP_ACP:
        case CP_OEMCP:
        case 936:
            return "CP936";
        case 950:
            return "CP950";
        case CP_UTF8:
            return "UTF-8";
        default:
            return nullptr;
    }
}

bool IsGbk(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == 936;
}

IconvHandle Open(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    return IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// Windows' table of code page 936 gives the single byte 0xFF to U+F8F5 (private use); iconv's
// has no mapping for it.
constexpr unsigned char kGbkByteFF = 0xFF;
constexpr char16_t kGbkFF = u'\uF8F5';

bool IsContinuation(unsigned char c) {
    return c >= 0x80 && c <= 0xBF;
}

// UTF-8 as Windows decodes it: each maximal ill-formed subpart becomes one U+FFFD. A lead byte
// takes the continuation bytes that follow it, up to the length it announces; a second byte
// outside the lead's range (an overlong form, an encoded surrogate, or past U+10FFFF) ends the
// subpart after itself, so an encoded surrogate ED A0 80 gives two U+FFFD.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes, bool strict, bool* invalid) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t i = 0;
    auto illFormed = [&](size_t length) {
        if (invalid)
            *invalid = true;
        out.push_back(u'\uFFFD');
        i += length;
        return !strict;
    };
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
        if (length == 0) {
            if (!illFormed(1))
                return std::nullopt;
            continue;
        }
        unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
        else if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
        size_t taken = 1;
        char32_t code = lead & (0xFF >> (length + 1));
        bool wellFormed = true;
        while (taken < length && i + taken < bytes.size()) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + taken]);
            if (!IsContinuation(next))
                break;
            ++taken;
            if (taken == 2 && (next < low || next > high)) {
                wellFormed = false;
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (!wellFormed || taken < length) {
            if (!illFormed(taken))
                return std::nullopt;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

}  // namespace

std::optional<std::u16string> DecodeCodePage(UINT codePage, std::string_view bytes, bool strict,
                                             bool* invalid) {
    const char* name = IconvName(codePage);
    if (name == nullptr)
        return std::nullopt;
    if (codePage == CP_UTF8)
        return DecodeUtf8(bytes, strict, invalid);
    IconvHandle cd = Open("UTF-16LE", name);
    if (!cd)
        return std::nullopt;

    std::u16string out;
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char16_t chunk[256];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(chunk);
        size_t outLeft = sizeof chunk;
        size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk, (sizeof chunk - outLeft) / sizeof(char16_t));
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        if (IsGbk(codePage) && static_cast<unsigned char>(*in) == kGbkByteFF) {
            out.push_back(kGbkFF);
            ++in;
            --inLeft;
            continue;
        }
        // EILSEQ (invalid sequence) or EINVAL (incomplete sequence at the end)
        if (invalid)
            *invalid = true;
        if (strict)
            return std::nullopt;
        out.push_back(u'?');
        if (errno == EINVAL)
            break;
        ++in;
        --inLeft;
    }
    return out;
}

std::optional<std::string> EncodeCodePage(UINT codePage, std::u16string_view text, bool strict,
                                          std::string_view defaultChar, bool* usedDefault) {
    const char* name = IconvName(codePage);
    if (name == nullptr)
        return std::nullopt;
    IconvHandle cd = Open(name, "UTF-16LE");
    if (!cd)
        return std::nullopt;

    std::string out;
    out.reserve(text.size() * 2);
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    size_t inLeft = text.size() * sizeof(char16_t);
    char chunk[512];
    while (inLeft > 0) {
        char* outPtr = chunk;
        size_t outLeft = sizeof chunk;
        size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk, sizeof chunk - outLeft);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        // A character the code page lacks, or a lone surrogate: one UTF-16 unit is skipped.
        char16_t unit;
        std::memcpy(&unit, in, sizeof unit);
        bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        if (unit == kGbkFF && IsGbk(codePage)) {
            out += static_cast<char>(kGbkByteFF);
            in += sizeof unit;
            inLeft -= sizeof unit;
            continue;
        }
        if (codePage == CP_UTF8) {
            if (strict)
                return std::nullopt;
            out += "\xEF\xBF\xBD";
        } else {
            if (strict && surrogate)
                return std::nullopt;
            out += defaultChar;
            if (usedDefault)
                *usedDefault = true;
        }
        size_t skip = sizeof(char16_t);
        // A valid pair that the code page lacks is replaced once, not twice.
        if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) {
            char16_t low;
            std::memcpy(&low, in + 2, sizeof low);
            if (low >= 0xDC00 && low <= 0xDFFF)
                skip = 2 * sizeof(char16_t);
        }
        in += skip;
        inLeft -= skip;
    }
    return out;
}

std::u16string WideFromAnsi(std::string_view ansi) {
    return DecodeCodePage(kAnsiCodePage, ansi, false).value_or(std::u16string());
}
std::string AnsiFromWide(std::u16string_view wide) {
    return EncodeCodePage(kAnsiCodePage, wide, false).value_or(std::string());
}
std::u16string WideFromUtf8(std::string_view utf8) {
    return DecodeCodePage(CP_UTF8, utf8, false).value_or(std::u16string());
}
std::string Utf8FromWide(std::u16string_view wide) {
    return EncodeCodePage(CP_UTF8, wide, false).value_or(std::string());
}
std::string Utf8FromAnsi(std::string_view ansi) {
    return Utf8FromWide(WideFromAnsi(ansi));
}
std::string AnsiFromUtf8(std::string_view utf8) {
    return AnsiFromWide(WideFromUtf8(utf8));
}

size_t WideLength(const WCHAR* text) {
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

}  // namespace winlayer

using namespace winlayer;

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                               LPWSTR dest, int destLength) {
    if (source == nullptr || sourceLength == 0 || destLength < 0 ||
        (destLength > 0 && dest == nullptr) || IconvName(codePage) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = sourceLength < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
    bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    std::optional<std::u16string> wide =
        DecodeCodePage(codePage, std::string_view(source, length), strict);
    if (!wide) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (destLength == 0)
        return static_cast<int>(wide->size());
    if (wide->size() > static_cast<size_t>(destLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dest, wide->data(), wide->size() * sizeof(WCHAR));
    return static_cast<int>(wide->size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength,
                               LPSTR dest, int destLength, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar) {
    if (source == nullptr || sourceLength == 0 || destLength < 0 ||
        (destLength > 0 && dest == nullptr) || IconvName(codePage) == nullptr ||
        (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = sourceLength < 0 ? WideLength(source) + 1 : static_cast<size_t>(sourceLength);
    bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
    bool used = false;
    std::optional<std::string> bytes =
        EncodeCodePage(codePage, std::u16string_view(source, length), strict,
                       defaultChar != nullptr ? std::string_view(defaultChar, 1) : "?", &used);
    if (!bytes) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (usedDefaultChar)
        *usedDefaultChar = used ? TRUE : FALSE;
    if (destLength == 0)
        return static_cast<int>(bytes->size());
    if (bytes->size() > static_cast<size_t>(destLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dest, bytes->data(), bytes->size());
    return static_cast<int>(bytes->size());
}

UINT WINAPI GetACP() {
    return kAnsiCodePage;
}
