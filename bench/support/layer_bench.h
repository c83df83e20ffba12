// What the small benchmarks of the layer share: the seconds one call takes, and a temporary
// WINROOT of their own that is removed when they end.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace bench {

template <typename Call>
double Seconds(Call call) {
    auto began = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
}

// A fresh folder under /tmp named after `name`, set as WINROOT while the object lives.
class TemporaryWinRoot {
  public:
    explicit TemporaryWinRoot(const char* name) {
        std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            setenv("WINROOT", pattern.c_str(), 1);
        }
    }
    ~TemporaryWinRoot() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TemporaryWinRoot(const TemporaryWinRoot&) = delete;
    TemporaryWinRoot& operator=(const TemporaryWinRoot&) = delete;

    bool Made() const { return !path_.empty(); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace bench
