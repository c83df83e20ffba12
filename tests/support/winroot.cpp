#include "winroot.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "scoped_env.h"

namespace testsupport {

namespace {

// A new folder of its own under the temporary folder.
std::filesystem::path MakeTemporaryFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto path =
            std::filesystem::temp_directory_path() / ("winroot-" + std::to_string(random()));
        if (std::filesystem::create_directory(path))
            return path;
    }
    throw std::runtime_error("no temporary folder could be made");
}

}  // namespace

TempWinRoot::TempWinRoot() {
    root_ = MakeTemporaryFolder();
    std::filesystem::create_directories(root_ / "drive_c");
    std::filesystem::create_directories(root_ / "registry");
    if (const char* old = std::getenv("WINROOT")) {
        hadWinRoot_ = true;
        previousWinRoot_ = old;
    }
    SetEnvironmentValue("WINROOT", root_.string().c_str());
    previousDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(root_ / "drive_c");
}

TempWinRoot::~TempWinRoot() {
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
    SetEnvironmentValue("WINROOT", hadWinRoot_ ? previousWinRoot_.c_str() : nullptr);
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
