// A fresh Windows world for one test, and the working directory moved into its drive C; both
// restored and removed afterwards. On the layer: a temporary folder set as $WINROOT (with
// drive_c/ and registry/). Under Wine (winroot_wine.cpp): the prefix's own C:\, which belongs to
// the one test program that `tests/windows/wine-prefix run` started in it, beside a temporary
// folder as root(); what a test makes at the top of C:\ is removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

class TempWinRoot {
  public:
    TempWinRoot();
    ~TempWinRoot();
    TempWinRoot(const TempWinRoot&) = delete;
    TempWinRoot& operator=(const TempWinRoot&) = delete;

    const std::filesystem::path& root() const { return root_; }
    const std::filesystem::path& driveC() const { return driveC_; }
    // Every file and folder of this world, relative to root() with '/' ("drive_c/..." for what
    // is on drive C): what a test may compare before and after.
    std::set<std::string> Everything() const;

  private:
    std::filesystem::path root_;
    std::filesystem::path driveC_;
    std::filesystem::path previousDirectory_;
    std::string previousWinRoot_;
    bool hadWinRoot_ = false;
    std::vector<std::filesystem::path> driveCBefore_;  // under Wine: what C:\ held before
};

// Base fixture of the tests that touch the Windows world.
class WinRootTest : public ::testing::Test {
  protected:
    TempWinRoot winroot;
};

// A new folder of its own under the temporary folder.
std::filesystem::path MakeTemporaryFolder();
// Removes a folder tree, read-only files and folders included; errors are ignored.
void RemoveTree(const std::filesystem::path& path);

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
// Writes bytes to a file, creating its folders.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace testsupport
