#include "winroot.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace testsupport {

TempWinRoot::TempWinRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "winroot-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    std::filesystem::create_directories(root_ / "drive_c");
    std::filesystem::create_directories(root_ / "registry");
    if (const char* old = std::getenv("WINROOT")) {
        hadWinRoot_ = true;
        previousWinRoot_ = old;
    }
    setenv("WINROOT", root_.c_str(), 1);
    previousDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(root_ / "drive_c");
}

TempWinRoot::~TempWinRoot() {
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
    if (hadWinRoot_)
        setenv("WINROOT", previousWinRoot_.c_str(), 1);
    else
        unsetenv("WINROOT");
    // Read-only files and folders made by a test must not keep the folder alive.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(root_, ignored);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace testsupport
