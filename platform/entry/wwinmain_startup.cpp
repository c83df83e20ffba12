// The start-up of a Unicode Windows GUI program: the process's main calls the program's wWinMain
// with its module handle, no previous instance, the command line after the program's name in
// UTF-16 and SW_SHOWDEFAULT, and exits with what wWinMain returns.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

namespace {

// One argument as Windows quotes it, so that CommandLineToArgvW gives it back: bare when it has
// no blank or quote, else in quotes with the backslashes before a quote (or the closing one)
// doubled and every quote escaped.
std::u16string QuotedArgument(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos)
        return argument;
    std::u16string quoted = u"\"";
    size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"')
            quoted.append(backslashes * 2 + 1, u'\\');
        else
            quoted.append(backslashes, u'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, u'\\');
    quoted += u'"';
    return quoted;
}

std::u16string WideFromUtf8(const char* text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (size <= 1)
        return std::u16string();
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

}  // namespace

int main(int argc, char** argv) {
    std::u16string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += u' ';
        commandLine += QuotedArgument(WideFromUtf8(argv[i]));
    }
    return wWinMain(GetModuleHandleW(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
