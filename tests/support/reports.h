// Readers of what the program leaves behind: lnkinfo's report of a shortcut file and the texts of
// install-log lines.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Runs lnkinfo on a file and returns its report.
std::string LnkInfo(const std::filesystem::path& file);

// The value of one "Name : value" line of lnkinfo's report.
std::optional<std::string> LnkInfoField(const std::string& report, const std::string& name);

// The texts of the lines of an install log, without their time stamps.
std::vector<std::string> InstallLogTexts(const std::string& log);

}  // namespace testsupport
