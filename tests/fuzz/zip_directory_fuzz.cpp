// The zip directory walk: the input is a package. Whatever it holds, its extraction ends, and
// nothing is written outside the folder it extracts into.
#include <windows.h>
#include <winlayer/message_boxes.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "fuzz_support.h"
#include "unzip/zip_extraction.h"

namespace {

std::filesystem::path g_driveC;

// Every path below the Windows world but those inside the target folder C:\out.
std::set<std::filesystem::path> PathsOutsideTheTarget() {
    const std::filesystem::path root = g_driveC.parent_path();
    const std::filesystem::path target = g_driveC / "out";
    std::set<std::filesystem::path> paths;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        if (it->path() == target)
            it.disable_recursion_pending();
        else
            paths.insert(it->path());
    }
    return paths;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("WINLAYER_DISPLAY", "headless", 1);
    g_driveC = fuzzsupport::UseTemporaryWinRoot();
    // The layer makes a new root's standard folders on its first call: made now, they are not
    // taken for the extraction's.
    GetFileAttributesA("C:\\");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(g_driveC / "fuzz.zip", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // A file that cannot be replaced is skipped, so the walk goes on past it.
    winlayer::testing::ResetMessageBoxes();
    winlayer::testing::SetMessageBoxAnswerer(
        [](const std::string&, const std::string&, UINT) { return IDIGNORE; });
    const std::set<std::filesystem::path> before = PathsOutsideTheTarget();
    ExtractZipArchive("C:\\fuzz.zip", "C:\\out");
    for (const std::filesystem::path& path : PathsOutsideTheTarget()) {
        if (before.count(path) == 0) {
            std::fprintf(stderr, "written outside the target folder: %s\n", path.c_str());
            std::abort();
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(g_driveC / "out", ignored);
    return 0;
}
