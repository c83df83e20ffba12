// What the fuzz targets share: a check that stops the run on a broken promise, and a Windows
// world of their own for the targets that read files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// A promise of the code under test that the input broke: reported and aborted, so that libFuzzer
// keeps the input and the replay test fails on it.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzzsupport {

// Makes a temporary $WINROOT with drive_c/ and registry/, removed when the process ends normally;
// returns its drive_c. The working folder stays, so that paths given on the command line hold.
inline std::filesystem::path UseTemporaryWinRoot() {
    static std::filesystem::path root;
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-winroot-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    root = pattern;
    std::filesystem::create_directories(root / "drive_c");
    std::filesystem::create_directories(root / "registry");
    setenv("WINROOT", root.c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    });
    return root / "drive_c";
}

inline std::string Text(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzzsupport
