// Looks up and writes keys in a profile file with one section of 80,000 lines, and prints the
// seconds each call took. Usage: kernel32_profile_lookup_bench [LINES] (default 80000).
// Runs in a temporary root of its own, removed at the end.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "layer_bench.h"

using bench::Seconds;

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 80000;
    bench::TemporaryWinRoot winroot("profile-bench");
    if (!winroot.Made())
        return 1;
    const std::filesystem::path& root = winroot.Path();
    std::filesystem::create_directories(root / "drive_c");
    {
        std::ofstream out(root / "drive_c/big.ini", std::ios::binary);
        out << "[first]\r\nfirst=1\r\n[big]\r\n";
        for (int i = 0; i < lines; ++i)
            out << "key" << i << "=value " << i << "\r\n";
        out << "[last]\r\nlast=1\r\n";
    }
    const char* file = "C:\\big.ini";
    const std::string lastKey = "KEY" + std::to_string(lines - 1);
    char buffer[64];
    std::printf("lines in the section: %d\n", lines);
    std::printf("lookup of its last key:     %.3f s\n", Seconds([&] {
                    GetPrivateProfileStringA("big", lastKey.c_str(), "", buffer, sizeof buffer,
                                             file);
                }));
    std::printf("lookup of a missing key:    %.3f s\n", Seconds([&] {
                    GetPrivateProfileStringA("big", "missing", "", buffer, sizeof buffer, file);
                }));
    std::printf("listing of its keys:        %.3f s\n", Seconds([&] {
                    std::string list(lines * 16, '\0');
                    GetPrivateProfileStringA("big", nullptr, "", list.data(),
                                             static_cast<DWORD>(list.size()), file);
                }));
    std::printf("write of a new key:         %.3f s\n",
                Seconds([&] { WritePrivateProfileStringA("big", "added", "1", file); }));
    std::printf("write replacing a key:      %.3f s\n",
                Seconds([&] { WritePrivateProfileStringA("big", lastKey.c_str(), "2", file); }));
    std::printf("removal of a key:           %.3f s\n",
                Seconds([&] { WritePrivateProfileStringA("big", "key0", nullptr, file); }));
    return 0;
}
