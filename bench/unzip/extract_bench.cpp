// Extracts one archive into a folder with ExtractZipArchive and prints the seconds it took.
// Usage: unzip_extract_bench ARCHIVE FOLDER (Linux or Windows paths; Linux ones are seen on Z:).
#include "unzip/zip_extraction.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE FOLDER\n", argv[0]);
        return 2;
    }
    auto began = std::chrono::steady_clock::now();
    bool ok = ExtractZipArchive(argv[1], argv[2]);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::printf("%.3f\n", took.count());
    return ok ? 0 : 1;
}
