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

IconvHandle Open(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    return IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

}  // namespace

std::optional<std::u16string> DecodeCodePage(UINT codePage, std::string_view bytes, bool strict,
                                             bool* invalid) {
    const char* name = IconvName(codePage);
    if (name == nullptr)
        return std::nullopt;
    IconvHandle cd = Open("UTF-16LE", name);
    if (!cd)
        return std::nullopt;
    const char16_t replacement = (codePage == CP_UTF8) ? u'\uFFFD' : u'?';

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
        // EILSEQ (invalid sequence) or EINVAL (incomplete sequence at the end)
        if (invalid)
            *invalid = true;
        if (strict)
            return std::nullopt;
        out.push_back(replacement);
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
