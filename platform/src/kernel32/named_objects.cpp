// Named kernel objects shared by the processes of one root, as a Windows machine shares them: a
// named mutex exists while any process holds a handle to it. Each handle keeps a shared lock on
// a file of the root's kernel-objects/ folder; a creator that can take the file's lock exclusive
// finds no other holder, so the object is new. A guard lock over the folder keeps two creators
// from both seeing a new object. The locks go with the handles, and with a process that ends.
#include "kernel32/codepage.h"
#include "kernel32/kernel_object.h"
#include "kernel32/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace winlayer {
namespace {

// Ownership and waiting are not modelled: the object only tells whether it existed.
class NamedMutex : public KernelObject {
  public:
    explicit NamedMutex(int fd) : fd_(fd) {}
    ~NamedMutex() override {
        if (fd_ >= 0)
            close(fd_);
    }

  private:
    int fd_;
};

// A file name for any object name: letters and digits as they are, every other byte as %XX.
std::string FileNameOf(const std::u16string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string file;
    for (unsigned char c : Utf8FromWide(name)) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            file += static_cast<char>(c);
        } else {
            file += '%';
            file += kHex[c >> 4];
            file += kHex[c & 15];
        }
    }
    return file;
}

int OpenLockFile(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

bool Lock(int fd, int operation) {
    while (flock(fd, operation) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// Opens the object's file with a shared lock; *existed tells whether another handle held it.
int OpenShared(const std::u16string& name, bool* existed) {
    const std::string folder = WinRoot() + "/kernel-objects";
    mkdir(WinRoot().c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    const int guard = OpenLockFile(folder + "/.guard");
    if (guard < 0 || !Lock(guard, LOCK_EX)) {
        if (guard >= 0)
            close(guard);
        return -1;
    }
    int fd = OpenLockFile(folder + "/" + FileNameOf(name));
    if (fd >= 0) {
        *existed = flock(fd, LOCK_EX | LOCK_NB) != 0;
        // From exclusive to shared, or shared beside the other holders; the guard keeps any
        // other creator out meanwhile.
        if (!Lock(fd, LOCK_SH)) {
            close(fd);
            fd = -1;
        }
    }
    close(guard);
    return fd;
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    if (initialOwner) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (name == nullptr || *name == 0) {
        SetLastError(ERROR_SUCCESS);
        return NewHandle(std::make_shared<NamedMutex>(-1));
    }
    bool existed = false;
    const int fd = OpenShared(std::u16string(name), &existed);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    HANDLE handle = NewHandle(std::make_shared<NamedMutex>(fd));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}
