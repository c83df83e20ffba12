// Opens keys of a hive whose one key has 40,000 subkeys, and prints the seconds each call took.
// Usage: advapi32_registry_bench [SUBKEYS] (default 40000). Runs in a temporary root of its own,
// removed at the end.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "layer_bench.h"

using bench::Seconds;

int main(int argc, char** argv) {
    const int subkeys = argc > 1 ? std::atoi(argv[1]) : 40000;
    bench::TemporaryWinRoot winroot("registry-bench");
    if (!winroot.Made())
        return 1;
    const std::filesystem::path& root = winroot.Path();
    std::filesystem::create_directories(root / "registry");
    {
        std::ofstream out(root / "registry/HKLM.reg", std::ios::binary);
        out << "Windows Registry Editor Version 5.00\n";
        for (int i = 0; i < subkeys; ++i)
            out << "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\Key" << i << "]\n\"v\"=\"" << i
                << "\"\n";
    }
    HKEY key = nullptr;
    const std::string last = "SOFTWARE\\Many\\KEY" + std::to_string(subkeys - 1);
    std::printf("subkeys of one key: %d\n", subkeys);
    std::printf("open of the last subkey:   %.3f s\n", Seconds([&] {
                    RegOpenKeyExA(HKEY_LOCAL_MACHINE, last.c_str(), 0, KEY_READ, &key);
                }));
    RegCloseKey(key);
    std::printf("create of a new subkey:    %.3f s\n",
                Seconds([&] { RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many\\Added", &key); }));
    RegCloseKey(key);
    std::printf("open after the rewrite:    %.3f s\n", Seconds([&] {
                    RegOpenKeyExA(HKEY_LOCAL_MACHINE, last.c_str(), 0, KEY_READ, &key);
                }));
    RegCloseKey(key);
    return 0;
}
