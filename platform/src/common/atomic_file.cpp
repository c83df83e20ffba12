#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

}  // namespace winlayer
