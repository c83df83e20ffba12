// A fresh Windows world for one test: a temporary folder set as $WINROOT (with drive_c/ and
// registry/), and the working directory moved into its drive_c; both restored and removed
// afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace testsupport {

class TempWinRoot {
  public:
    TempWinRoot();
    ~TempWinRoot();
    TempWinRoot(const TempWinRoot&) = delete;
    TempWinRoot& operator=(const TempWinRoot&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path driveC() const { return root_ / "drive_c"; }

  private:
    std::filesystem::path root_;
    std::filesystem::path previousDirectory_;
    std::string previousWinRoot_;
    bool hadWinRoot_ = false;
};

// Base fixture of the tests that touch the Windows world.
class WinRootTest : public ::testing::Test {
  protected:
    TempWinRoot winroot;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
// Writes bytes to a file, creating its folders.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace testsupport
