// Profile (INI) files: GetPrivateProfileStringA and WritePrivateProfileStringA. Files are bytes
// in the ANSI code page (936); section and key names compare without regard to ASCII case, and a
// double-byte character is compared as it is, so its trail byte never folds.
#include "common/atomic_file.h"
#include "kernel32/file_object.h"

#include "kernel32/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winlayer {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (IsLeadByte(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(x) != lower(y))
            return false;
    }
    return true;
}

// One line of a profile file, kept verbatim so that a write changes only what it must.
struct Line {
    enum Kind { kOther, kSection, kEntry } kind = kOther;
    std::string text;  // the line without its end-of-line characters
    std::string name;  // section name, or key
    std::string value;
};

struct Profile {
    std::vector<Line> lines;

    // Calls visit(index, line) for the lines inside every section named `section` (headers
    // excluded), in file order, in one pass; visit returns false to stop.
    template <typename Visit>
    void ForEachLineIn(std::string_view section, Visit visit) const {
        bool inside = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::kSection)
                inside = NamesEqual(lines[i].name, section);
            else if (inside && !visit(i, lines[i]))
                return;
        }
    }
};

// Windows sees a key only in a line with "=": any other line inside a section is neither found
// nor listed.
Line ParseLine(std::string text) {
    Line line;
    std::string_view trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.front() == '[') {
        size_t close = trimmed.find(']');
        line.kind = Line::kSection;
        line.name = std::string(Trim(trimmed.substr(
            1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
    } else if (!trimmed.empty() && trimmed.front() != ';') {
        size_t equals = trimmed.find('=');
        if (equals != std::string_view::npos) {
            line.kind = Line::kEntry;
            line.name = std::string(Trim(trimmed.substr(0, equals)));
            line.value = std::string(Trim(trimmed.substr(equals + 1)));
        }
    }
    line.text = std::move(text);
    return line;
}

// Lines end in CR LF, LF or a CR alone, as Windows reads them.
std::optional<Profile> LoadProfile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Profile profile;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        profile.lines.push_back(ParseLine(bytes.substr(start, end - start)));
        start = end + 1;
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n')
            ++start;
    }
    return profile;
}

// The advisory lock that serialises the read-modify-write of profile files across processes:
// held on the file's folder, which stays while the file itself is replaced by every write.
class FolderLock {
  public:
    explicit FolderLock(const std::string& filePath) {
        size_t slash = filePath.rfind('/');
        std::string folder =
            slash == 0 || slash == std::string::npos ? "/" : filePath.substr(0, slash);
        fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            close(fd_);  // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_ = -1;
};

// Windows strips one pair of enclosing quotes, double or single, from profile values.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// A single string cut as Win32 cuts it: at most size - 1 bytes and a NUL; returns the bytes copied.
DWORD CopyString(std::string_view text, LPSTR buffer, DWORD size) {
    size_t count = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<DWORD>(count);
}

// A list of names, each NUL-terminated, ending in a second NUL. When it does not fit, the last
// name that fits is cut so that two NULs end the buffer, and the result is size - 2, as Win32 does.
DWORD CopyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty() && size >= 2)
            buffer[1] = '\0';
        return static_cast<DWORD>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

bool WriteProfile(const std::string& path, const Profile& profile, mode_t mode, DWORD* error) {
    std::string bytes;
    for (const Line& line : profile.lines) {
        bytes += line.text;
        bytes += "\r\n";
    }
    // Written to a temporary file and renamed over the old one, so a reader never sees half.
    // Those of writers killed before their rename go now: the folder lock is held.
    winlayer::RemoveAbandonedTemporaries(path, ".tmp-");
    std::string temporary = path + ".tmp-XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        *error = ErrorFromErrno(errno, path);
        return false;
    }
    bool ok = fchmod(fd, mode) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = close(fd) == 0 && ok;
    if (!ok || renameat(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str()) != 0) {
        *error = ErrorFromErrno(errno, path);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

DWORD WINAPI GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue,
                                      LPSTR returnedString, DWORD size, LPCSTR fileName) {
    if (returnedString == nullptr || size == 0)
        return 0;
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> path =
        UnixPathFromAnsi(fileName != nullptr ? fileName : "win.ini", &error);
    std::optional<Profile> profile = path ? LoadProfile(*path) : std::nullopt;

    if (appName == nullptr || keyName == nullptr) {
        std::vector<std::string> names;
        if (profile && appName == nullptr) {
            for (const Line& line : profile->lines) {
                if (line.kind == Line::kSection)
                    names.push_back(line.name);
            }
        } else if (profile) {
            profile->ForEachLineIn(appName, [&](size_t, const Line& line) {
                if (line.kind == Line::kEntry)
                    names.push_back(line.name);
                return true;
            });
        }
        if (!profile)
            SetLastError(ERROR_FILE_NOT_FOUND);
        return CopyList(names, returnedString, size);
    }

    const Line* found = nullptr;
    if (profile) {
        profile->ForEachLineIn(appName, [&](size_t, const Line& line) {
            if (line.kind == Line::kEntry && NamesEqual(line.name, keyName))
                found = &line;
            return found == nullptr;
        });
    }
    if (found)
        return CopyString(Unquote(found->value), returnedString, size);
    // Windows trims trailing blanks from the default.
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return CopyString(fallback, returnedString, size);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR string,
                                       LPCSTR fileName) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows finds no section without a name, and writes nothing.
    if (appName == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> path = UnixPathFromAnsi(fileName, &error);
    if (!path) {
        SetLastError(error);
        return FALSE;
    }
    // Another process's read-modify-write of a file in this folder waits for this one's end.
    FolderLock lock(*path);
    mode_t mode = 0644;
    struct stat st;
    const bool exists = stat(path->c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        mode = st.st_mode & 07777;
    }
    Profile profile = LoadProfile(*path).value_or(Profile{});
    const size_t linesBefore = profile.lines.size();
    if (keyName == nullptr) {
        // A null key removes the whole section, header and lines.
        std::vector<Line> kept;
        bool inside = false;
        for (Line& line : profile.lines) {
            if (line.kind == Line::kSection)
                inside = NamesEqual(line.name, appName);
            if (!inside)
                kept.push_back(std::move(line));
        }
        profile.lines = std::move(kept);
    } else if (string == nullptr) {
        // A null value removes the key.
        std::vector<bool> drop(profile.lines.size(), false);
        profile.ForEachLineIn(appName, [&](size_t i, const Line& line) {
            drop[i] = line.kind == Line::kEntry && NamesEqual(line.name, keyName);
            return true;
        });
        std::vector<Line> kept;
        for (size_t i = 0; i < profile.lines.size(); ++i) {
            if (!drop[i])
                kept.push_back(std::move(profile.lines[i]));
        }
        profile.lines = std::move(kept);
    } else {
        // The first entry of the key in a section of that name, else the line after the first
        // such section's last entry (before its trailing blank lines).
        std::optional<size_t> existing;
        std::optional<size_t> firstHeader;
        size_t afterLastEntry = 0;
        bool inFirst = false;
        for (size_t i = 0; i < profile.lines.size(); ++i) {
            const Line& line = profile.lines[i];
            if (line.kind == Line::kSection) {
                bool named = NamesEqual(line.name, appName);
                inFirst = named && !firstHeader;
                if (inFirst) {
                    firstHeader = i;
                    afterLastEntry = i + 1;
                }
                if (named)
                    continue;
            }
            if (inFirst && !Trim(line.text).empty())
                afterLastEntry = i + 1;
        }
        profile.ForEachLineIn(appName, [&](size_t i, const Line& line) {
            if (line.kind == Line::kEntry && NamesEqual(line.name, keyName))
                existing = i;
            return !existing;
        });
        if (existing) {
            Line& line = profile.lines[*existing];
            line = ParseLine(line.name + "=" + string);
        } else if (firstHeader) {
            profile.lines.insert(
                profile.lines.begin() + static_cast<std::ptrdiff_t>(afterLastEntry),
                ParseLine(std::string(keyName) + "=" + string));
        } else {
            // Windows appends a new section right after the last line, without a blank line.
            // GCC 12 at -O3 sees a false overlap in the inlined string copy here (-Wrestrict,
            // GCC bug 105329).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
            profile.lines.push_back(ParseLine("[" + std::string(appName) + "]"));
#pragma GCC diagnostic pop
            profile.lines.push_back(ParseLine(std::string(keyName) + "=" + string));
        }
    }
    // Removing what is not there leaves a missing file missing.
    if (!exists && profile.lines.size() == linesBefore)
        return TRUE;
    if (!WriteProfile(*path, profile, mode, &error)) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
