// The test's Windows world on the layer: a temporary folder set as $WINROOT.
#include "winroot.h"

#include <cstdlib>
#include <system_error>

#include "scoped_env.h"

namespace testsupport {

TempWinRoot::TempWinRoot() {
    root_ = MakeTemporaryFolder();
    driveC_ = root_ / "drive_c";
    std::filesystem::create_directories(driveC_);
    std::filesystem::create_directories(root_ / "registry");
    if (const char* old = std::getenv("WINROOT")) {
        hadWinRoot_ = true;
        previousWinRoot_ = old;
    }
    SetEnvironmentValue("WINROOT", root_.string().c_str());
    previousDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(driveC_);
}

TempWinRoot::~TempWinRoot() {
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
    SetEnvironmentValue("WINROOT", hadWinRoot_ ? previousWinRoot_.c_str() : nullptr);
    RemoveTree(root_);
}

std::set<std::string> TempWinRoot::Everything() const {
    std::set<std::string> all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_))
        all.insert(std::filesystem::relative(entry.path(), root_).generic_string());
    return all;
}

}  // namespace testsupport
