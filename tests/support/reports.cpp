#include "reports.h"

#include <cstdio>
#include <memory>

namespace testsupport {

std::string LnkInfo(const std::filesystem::path& file) {
    std::string command = "lnkinfo '" + file.string() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char chunk[4096];
    size_t n;
    while (pipe && (n = fread(chunk, 1, sizeof chunk, pipe.get())) > 0)
        out.append(chunk, n);
    return out;
}

std::optional<std::string> LnkInfoField(const std::string& report, const std::string& name) {
    size_t at = report.find("\t" + name + "\t");
    if (at == std::string::npos)
        return std::nullopt;
    size_t colon = report.find(": ", at);
    size_t end = report.find('\n', colon);
    return report.substr(colon + 2, end - colon - 2);
}

std::vector<std::string> InstallLogTexts(const std::string& log) {
    std::vector<std::string> texts;
    for (size_t at = 0; (at = log.find("]\t\t", at)) != std::string::npos;) {
        size_t end = log.find("\r\n", at);
        texts.push_back(log.substr(at + 3, end - at - 3));
        at = end;
    }
    return texts;
}

}  // namespace testsupport
