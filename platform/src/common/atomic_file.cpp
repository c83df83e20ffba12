#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace winlayer {

int ReplaceFileAtomically(const std::string& unixPath, std::string_view bytes) {
    std::string temp = unixPath + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return errno;
    int error = 0;
    size_t written = 0;
    while (error == 0 && written < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : EIO;
        else
            written += static_cast<size_t>(n);
    }
    if (error == 0 && fchmod(fd, 0644) != 0)
        error = errno;
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    // renameat: <windows.h> maps rename onto the runtime call that takes Windows paths.
    if (error == 0 && renameat(AT_FDCWD, temp.c_str(), AT_FDCWD, unixPath.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temp.c_str());
    return error;
}

void RemoveAbandonedTemporaries(const std::string& unixPath, std::string_view infix) {
    const std::filesystem::path target(unixPath);
    const std::string prefix = target.filename().string() + std::string(infix);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        bool generated = true;
        for (size_t i = prefix.size(); i < name.size(); ++i)
            generated = generated && std::isalnum(static_cast<unsigned char>(name[i]));
        if (generated && entry.is_regular_file(error))
            unlink(entry.path().c_str());
    }
}

}  // namespace winlayer
