// Stands in for the installed client in tests: records how it was started (working folder,
// arguments, one environment variable) and then waits to be ended. The record goes to the file
// named by FAKE_CLIENT_RECORD, else to "started.txt" in the working folder; it is written whole
// (temporary file, then rename) so that a test never reads half of it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    std::string cwd = std::filesystem::current_path().string();
    const char* named = std::getenv("FAKE_CLIENT_RECORD");
    std::string record = named && *named ? named : cwd + "/started.txt";
    std::string temporary = record + ".part" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary);
        out << "pid=" << getpid() << "\n";
        out << "cwd=" << cwd << "\n";
        const char* mark = std::getenv("FAKE_CLIENT_MARK");
        out << "mark=" << (mark ? mark : "") << "\n";
        out << "argc=" << argc << "\n";
        for (int i = 0; i < argc; ++i)
            out << "argv[" << i << "]=" << argv[i] << "\n";
    }
    std::rename(temporary.c_str(), record.c_str());
    // Tests end it; should one not, it goes by itself.
    sleep(120);
    return 7;
}
