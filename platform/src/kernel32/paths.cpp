#include "kernel32/paths.h"

#include "kernel32/codepage.h"
#include "kernel32/folder_listings.h"
#include "kernel32/standard_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace winlayer {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsForbiddenNameChar(char c) {
    return static_cast<unsigned char>(c) < 32 || c == '<' || c == '>' || c == ':' || c == '"' ||
           c == '|' || c == '?' || c == '*';
}

// The working directory in the layer's Windows form: C:\... inside the root, Z:\... elsewhere.
std::string CurrentDirectoryAsWindows() {
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    return WindowsPathOf(cwd ? cwd.get() : "/");
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (IsSeparator(c)) {
            if (!current.empty())
                parts.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(std::move(current));
    return parts;
}

// The existing entry of `folder` whose name equals `name` without regard to case; exact
// spelling first, then the first match in sorted order so that the choice is stable. The
// folder's listing is kept, so a name that is new costs O(1), not a read of the folder.
std::optional<std::string> FindIgnoringCase(const std::string& folder, const std::string& name) {
    struct stat st;
    if (lstat((folder + "/" + name).c_str(), &st) == 0)
        return name;
    return FindInFolderIgnoringCase(folder, name);
}

}  // namespace

std::string WinRoot() {
    if (const char* root = std::getenv("WINROOT"); root && *root)
        return root;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::string(data) + "/winroot";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share/winroot";
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

std::optional<std::string> FullWindowsPath(std::string_view path, DWORD* error) {
    // Long-path prefix "\\?\" names the same path.
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '?' &&
        IsSeparator(path[3]))
        path.remove_prefix(4);
    if (path.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        *error = ERROR_BAD_PATHNAME;  // UNC paths name other machines
        return std::nullopt;
    }

    std::string drive;
    std::string rest;
    bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                    ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (hasDrive) {
        drive = std::string(1, static_cast<char>(path[0] & ~0x20)) + ":";
        rest = path.substr(2);
        // "C:name" is relative to the drive's current folder; only the drive of the working
        // directory has one here.
        if (rest.empty() || !IsSeparator(rest[0])) {
            std::string current = CurrentDirectoryAsWindows();
            rest = (drive == current.substr(0, 2) ? current.substr(2) : std::string("\\")) + "\\" +
                   rest;
        }
    } else if (IsSeparator(path[0])) {
        // A rooted path is a Linux path, so that "/tmp/x" works unchanged wherever the working
        // directory is (Windows would root it on the current drive).
        drive = "Z:";
        rest = path;
    } else {
        std::string current = CurrentDirectoryAsWindows();
        drive = current.substr(0, 2);
        rest = current.substr(2) + "\\" + std::string(path);
    }

    std::vector<std::string> parts;
    for (std::string& part : SplitComponents(rest)) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        if (std::any_of(part.begin(), part.end(), IsForbiddenNameChar)) {
            *error = ERROR_INVALID_NAME;
            return std::nullopt;
        }
        parts.push_back(std::move(part));
    }
    // Windows drops trailing dots and blanks of the last name.
    if (!parts.empty()) {
        std::string& last = parts.back();
        while (!last.empty() && (last.back() == '.' || last.back() == ' '))
            last.pop_back();
        if (last.empty())
            parts.pop_back();
    }

    std::string full = drive + "\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            full += '\\';
        full += parts[i];
    }
    // A trailing separator of the input is kept, as GetFullPathName keeps it.
    if (!parts.empty() && IsSeparator(path.back()))
        full += '\\';
    return full;
}

std::optional<std::string> UnixPath(std::string_view windowsPath, DWORD* error) {
    std::optional<std::string> full = FullWindowsPath(windowsPath, error);
    if (!full)
        return std::nullopt;
    std::string base;
    switch ((*full)[0]) {
        case 'C': {
            const std::string root = WinRoot();
            PrepareRoot(root);
            base = root + "/drive_c";
            break;
        }
        case 'Z':
            base = "";
            break;
        default:
            *error = ERROR_PATH_NOT_FOUND;
            return std::nullopt;
    }
    std::string result = ResolveUnder(base, std::string_view(*full).substr(2));
    // GCC 12 at -O3 sees a false overlap in the inlined string copy here (-Wrestrict, GCC bug
    // 105329); the copy is of a literal into a string of its own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
    if (result.empty())
        result = "/";
#pragma GCC diagnostic pop
    return result;
}

std::string ResolveUnder(const std::string& base, std::string_view relative) {
    const std::vector<std::string> parts = SplitComponents(relative);
    // What exists as spelled is what the lookup of each name finds first (the exact spelling):
    // the longest part of the path that exists so needs no lookup of its names, and files made
    // in a known folder cost a call or two rather than one per name.
    std::string result = base;
    for (const std::string& part : parts)
        result += "/" + part;
    std::size_t known = parts.size();
    struct stat st;
    while (known > 0 && lstat(result.c_str(), &st) != 0)
        result.resize(result.size() - parts[--known].size() - 1);
    // The next name is not there as spelled; each one after it may be.
    bool resolving = true;
    for (std::size_t i = known; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (resolving) {
            const std::string folder = result.empty() ? "/" : result;
            std::optional<std::string> found = i == known ? FindInFolderIgnoringCase(folder, part)
                                                          : FindIgnoringCase(folder, part);
            resolving = found.has_value();
            result += "/" + (found ? *found : part);
        } else {
            result += "/" + part;
        }
    }
    return result;
}

std::optional<std::string> UnixPathFromAnsi(const char* windowsPath, DWORD* error) {
    if (windowsPath == nullptr) {
        *error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    return UnixPath(Utf8FromAnsi(windowsPath), error);
}

std::optional<std::string> UnixPathFromWide(const WCHAR* windowsPath, DWORD* error) {
    if (windowsPath == nullptr) {
        *error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    return UnixPath(Utf8FromWide(windowsPath), error);
}

std::string WindowsPathOf(std::string_view unixPath) {
    std::string_view rest = unixPath;
    std::string drive = "Z:";
    auto under = [&](const std::string& driveC) {
        return !driveC.empty() && rest.substr(0, driveC.size()) == driveC &&
               (rest.size() == driveC.size() || rest[driveC.size()] == '/');
    };
    // The root as named, or as the kernel names it (getcwd and /proc give resolved paths).
    std::string driveC = WinRoot() + "/drive_c";
    if (!under(driveC)) {
        std::unique_ptr<char, decltype(&std::free)> real(realpath(driveC.c_str(), nullptr),
                                                         &std::free);
        driveC = real ? real.get() : "";
    }
    if (under(driveC)) {
        drive = "C:";
        rest.remove_prefix(driveC.size());
    }
    std::string out = drive + "\\";
    for (const std::string& part : SplitComponents(rest)) {
        if (out.back() != '\\')
            out += '\\';
        out += part;
    }
    return out;
}

}  // namespace winlayer
