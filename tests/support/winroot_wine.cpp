// The test's Windows world under Wine: the prefix's own C:\, which the tests name in their paths,
// and root() in the run's scratch folder outside C:\. `tests/windows/wine-prefix run` starts each
// test program in a prefix of its own and names that folder in INSTALLER_TEST_SCRATCH; without
// it (a machine's real C:\) the tests refuse to run.
#include "winroot.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <system_error>

namespace testsupport {

namespace {

std::filesystem::path ScratchFolder() {
    const char* scratch = std::getenv("INSTALLER_TEST_SCRATCH");
    if (!scratch || !*scratch)
        throw std::runtime_error(
            "these tests write to C:\\: run them in a Wine prefix of their own "
            "(tests/windows/wine-prefix run)");
    return scratch;
}

}  // namespace

TempWinRoot::TempWinRoot() {
    const std::filesystem::path scratch = ScratchFolder();
    driveC_ = "C:\\";
    for (const auto& entry : std::filesystem::directory_iterator(driveC_))
        driveCBefore_.push_back(entry.path().filename());
    std::random_device random;
    for (int attempt = 0; root_.empty() && attempt < 100; ++attempt) {
        const auto path = scratch / ("winroot-" + std::to_string(random()));
        if (std::filesystem::create_directory(path))
            root_ = path;
    }
    if (root_.empty())
        throw std::runtime_error("no folder could be made in " + scratch.string());
    previousDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(driveC_);
}

TempWinRoot::~TempWinRoot() {
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
    RemoveTree(root_);
    std::vector<std::filesystem::path> made;
    for (auto it = std::filesystem::directory_iterator(driveC_, ignored);
         it != std::filesystem::directory_iterator(); it.increment(ignored)) {
        if (std::find(driveCBefore_.begin(), driveCBefore_.end(), it->path().filename()) ==
            driveCBefore_.end())
            made.push_back(it->path());
    }
    for (const auto& path : made)
        RemoveTree(path);
}

std::set<std::string> TempWinRoot::Everything() const {
    std::set<std::string> all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_))
        all.insert(std::filesystem::relative(entry.path(), root_).generic_string());
    // Drive C's own folders (Windows, the users' profiles) are the prefix's, not the test's.
    for (const auto& top : std::filesystem::directory_iterator(driveC_)) {
        if (std::find(driveCBefore_.begin(), driveCBefore_.end(), top.path().filename()) !=
            driveCBefore_.end())
            continue;
        all.insert("drive_c/" + top.path().filename().generic_string());
        if (!top.is_directory())
            continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(top.path()))
            all.insert("drive_c/" +
                       std::filesystem::relative(entry.path(), driveC_).generic_string());
    }
    return all;
}

}  // namespace testsupport
