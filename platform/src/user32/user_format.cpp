// wsprintfA/W: the user library's small printf. At most 1024 characters including the terminator;
// no floating point. %s takes a string of the function's own width and %S one of the other width;
// h and l force narrow or wide for %s and %c; I64 marks 64-bit integers.
#include "kernel32/codepage.h"

#include <windows.h>

#include <cstdarg>
#include <string>

namespace winlayer {
namespace {

constexpr size_t kLimit = 1024;  // characters, terminator included

template <class Char>
class Output {
  public:
    explicit Output(Char* buffer) : buffer_(buffer) {}
    void Put(Char c) {
        if (count_ < kLimit - 1)
            buffer_[count_++] = c;
    }
    void Put(std::basic_string_view<Char> text) {
        for (Char c : text)
            Put(c);
    }
    int Finish() {
        buffer_[count_] = 0;
        return static_cast<int>(count_);
    }

  private:
    Char* buffer_;
    size_t count_ = 0;
};

template <class Char>
std::basic_string<Char> FromNarrow(std::string_view text) {
    if constexpr (sizeof(Char) == 1)
        return std::string(text);
    else
        return WideFromAnsi(text);
}

template <class Char>
std::basic_string<Char> FromWide(std::u16string_view text) {
    if constexpr (sizeof(Char) == 1)
        return AnsiFromWide(text);
    else
        return std::u16string(text);
}

template <class Char>
int Format(Char* buffer, const Char* format, va_list args) {
    Output<Char> out(buffer);
    for (const Char* p = format; *p; ++p) {
        if (*p != '%') {
            out.Put(*p);
            continue;
        }
        const Char* start = p++;
        bool left = false, zero = false, alternate = false;
        for (;; ++p) {
            if (*p == '-')
                left = true;
            else if (*p == '0')
                zero = true;
            else if (*p == '#')
                alternate = true;
            else
                break;
        }
        size_t width = 0;
        while (*p >= '0' && *p <= '9')
            width = width * 10 + static_cast<size_t>(*p++ - '0');
        size_t precision = SIZE_MAX;
        if (*p == '.') {
            precision = 0;
            ++p;
            while (*p >= '0' && *p <= '9')
                precision = precision * 10 + static_cast<size_t>(*p++ - '0');
        }
        // Width of %s and %c: h narrow, l or w wide; the capital letter takes the other width.
        int sized = 0;  // -1 narrow, +1 wide, 0 not given
        bool is64 = false;
        if (*p == 'l' || *p == 'w') {
            sized = 1;
            ++p;
        } else if (*p == 'h') {
            sized = -1;
            ++p;
        } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            is64 = true;
            p += 3;
        }

        std::basic_string<Char> text;
        switch (*p) {
            case '%':
                out.Put(static_cast<Char>('%'));
                continue;
            case 'c':
            case 'C': {
                bool asWide = sized != 0 ? sized > 0 : (*p == 'c') == (sizeof(Char) == 2);
                int value = va_arg(args, int);
                if (asWide)
                    text = FromWide<Char>(std::u16string(1, static_cast<char16_t>(value)));
                else
                    text = FromNarrow<Char>(std::string(1, static_cast<char>(value)));
                break;
            }
            case 's':
            case 'S': {
                bool asWide = sized != 0 ? sized > 0 : (*p == 's') == (sizeof(Char) == 2);
                if (asWide) {
                    auto value = va_arg(args, const char16_t*);
                    text = FromWide<Char>(value ? std::u16string_view(value) : u"(null)");
                } else {
                    auto value = va_arg(args, const char*);
                    text = FromNarrow<Char>(value ? std::string_view(value) : "(null)");
                }
                if (text.size() > precision)
                    text.resize(precision);
                break;
            }
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X': {
                unsigned long long magnitude;
                bool negative = false;
                if (*p == 'd' || *p == 'i') {
                    long long value = is64 ? va_arg(args, long long) : va_arg(args, int);
                    negative = value < 0;
                    magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                         : static_cast<unsigned long long>(value);
                } else {
                    magnitude = is64 ? va_arg(args, unsigned long long) : va_arg(args, unsigned);
                }
                unsigned base = (*p == 'x' || *p == 'X') ? 16 : 10;
                const char* digits = *p == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
                std::string number;
                do {
                    number.insert(number.begin(), digits[magnitude % base]);
                    magnitude /= base;
                } while (magnitude);
                if (precision != SIZE_MAX && number.size() < precision)
                    number.insert(0, precision - number.size(), '0');
                std::string prefix = negative ? "-" : "";
                if (alternate && base == 16)
                    prefix += *p == 'X' ? "0X" : "0x";
                if (zero && !left && precision == SIZE_MAX && prefix.size() + number.size() < width)
                    number.insert(0, width - prefix.size() - number.size(), '0');
                for (char c : prefix + number)
                    text += static_cast<Char>(c);
                break;
            }
            default:
                // An unknown conversion is copied as it stands, as wsprintf does.
                for (const Char* q = start; q <= p && *q; ++q)
                    out.Put(*q);
                if (!*p)
                    return out.Finish();
                continue;
        }
        size_t pad = text.size() < width ? width - text.size() : 0;
        if (!left)
            for (size_t i = 0; i < pad; ++i)
                out.Put(static_cast<Char>(' '));
        out.Put(std::basic_string_view<Char>(text));
        if (left)
            for (size_t i = 0; i < pad; ++i)
                out.Put(static_cast<Char>(' '));
    }
    return out.Finish();
}

}  // namespace
}  // namespace winlayer

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    int written = winlayer::Format<WCHAR>(buffer, format, args);
    va_end(args);
    return written;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int written = winlayer::Format<char>(buffer, format, args);
    va_end(args);
    return written;
}
