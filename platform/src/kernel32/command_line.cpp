#include "kernel32/command_line.h"

namespace winlayer {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> args;
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size())
        return args;

    // The program name: quotes only group, backslashes are path separators.
    std::u16string program;
    if (line[i] == u'"') {
        ++i;
        while (i < line.size() && line[i] != u'"')
            program += line[i++];
        if (i < line.size())
            ++i;
    } else {
        while (i < line.size() && !IsBlank(line[i]))
            program += line[i++];
    }
    args.push_back(std::move(program));

    std::u16string current;
    bool inToken = false;
    bool quoted = false;
    while (i < line.size()) {
        char16_t c = line[i];
        if (IsBlank(c) && !quoted) {
            if (inToken)
                args.push_back(std::move(current));
            current.clear();
            inToken = false;
            ++i;
            continue;
        }
        inToken = true;
        if (c == u'\\') {
            size_t slashes = 0;
            while (i < line.size() && line[i] == u'\\') {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == u'"') {
                current.append(slashes / 2, u'\\');
                if (slashes % 2 == 1) {
                    current += u'"';
                    ++i;
                }
                // An even run leaves the quote to the next round, where it opens or closes.
            } else {
                current.append(slashes, u'\\');
            }
            continue;
        }
        if (c == u'"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                current += u'"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        current += c;
        ++i;
    }
    if (inToken)
        args.push_back(std::move(current));
    return args;
}

std::vector<std::u16string> ProgramCandidates(std::u16string_view line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    line.remove_prefix(i);
    if (line.empty())
        return {};
    if (line[0] == u'"') {
        size_t close = line.find(u'"', 1);
        return {std::u16string(line.substr(
            1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1))};
    }
    // "C:\Program Files\a b.exe x" unquoted: Windows tries C:\Program, then C:\Program Files\a,
    // and so on, each with its default extension.
    std::vector<std::u16string> candidates;
    for (size_t pos = 0; pos <= line.size(); ++pos) {
        if (pos == line.size() || IsBlank(line[pos])) {
            if (pos > 0 && !IsBlank(line[pos - 1]))
                candidates.emplace_back(line.substr(0, pos));
        }
    }
    return candidates;
}

}  // namespace winlayer
