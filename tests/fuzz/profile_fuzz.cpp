// The profile-file reader: the input is a profile file. Every section and key it lists is read
// back into buffers of exactly the size given, which must hold the NUL-terminated answer; a key
// written afterwards reads back as written.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr char kFile[] = "C:\\fuzz.ini";
std::filesystem::path g_file;  // kFile on Linux
constexpr DWORD kSizes[] = {1, 2, 3, 17, 4096};

// The names of a double-NUL list as GetPrivateProfileStringA returns it.
std::vector<std::string> Names(const std::vector<char>& buffer, DWORD length) {
    std::vector<std::string> names;
    for (size_t at = 0; at < length;) {
        const std::string name(&buffer[at]);
        names.push_back(name);
        at += name.size() + 1;
    }
    return names;
}

// Reads one answer with buffers of each size; returns the answer of the largest.
std::vector<char> Read(const char* section, const char* key, DWORD* length, bool list) {
    std::vector<char> buffer;
    for (const DWORD size : kSizes) {
        buffer.assign(size, '\x7f');
        *length = GetPrivateProfileStringA(section, key, "none", buffer.data(), size, kFile);
        FUZZ_CHECK(*length < size && buffer[*length] == '\0');
        // A list ends in two NULs: the last name's and its own, or after a cut name two more.
        if (list && *length > 0)
            FUZZ_CHECK(buffer[*length - 1] == '\0' ||
                       (*length + 1 < size && buffer[*length + 1] == '\0'));
    }
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_file = fuzzsupport::UseTemporaryWinRoot() / "fuzz.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    DWORD length = 0;
    const std::vector<char> sections = Read(nullptr, nullptr, &length, true);
    size_t reads = 0;
    for (const std::string& section : Names(sections, length)) {
        DWORD keysLength = 0;
        const std::vector<char> keys = Read(section.c_str(), nullptr, &keysLength, true);
        for (const std::string& key : Names(keys, keysLength)) {
            if (++reads > 16)
                break;
            DWORD valueLength = 0;
            Read(section.c_str(), key.c_str(), &valueLength, false);
        }
    }
    FUZZ_CHECK(WritePrivateProfileStringA("Fuzz", "Written", "value", kFile));
    char value[16] = {};
    GetPrivateProfileStringA("fuzz", "written", "", value, sizeof value, kFile);
    FUZZ_CHECK(std::string_view(value) == "value");
    return 0;
}
