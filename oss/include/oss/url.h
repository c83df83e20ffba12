// URL value: parsed from text without decoding, rebuilt with toString.
#pragma once

#include <cstdint>
#include <string>

namespace oss {

class Url {
  public:
    // Empty: every text empty, port -1.
    Url() = default;
    // Splits scheme, user information, host, port, path, query and fragment. Scheme and host are
    // lower-cased; a missing path becomes "/"; a port that is not a number reads as 0.
    explicit Url(const std::string& text);

    const std::string& scheme() const { return scheme_; }
    const std::string& userName() const { return userName_; }
    const std::string& password() const { return password_; }
    const std::string& host() const { return host_; }
    const std::string& path() const { return path_; }
    int32_t port() const { return port_; }
    const std::string& query() const { return query_; }
    const std::string& fragment() const { return fragment_; }

    void setScheme(const std::string& scheme);
    void setHost(const std::string& host);
    void setPath(const std::string& path) { path_ = path; }
    void setQuery(const std::string& query) { query_ = query; }

    // A host is required, and a password needs a user name.
    bool isValid() const;
    bool isEmpty() const;

    // "" when empty or not valid.
    std::string toString() const;
    // [user[:password]@]host[:port]; "" when empty or not valid.
    std::string authority() const;

  private:
    std::string scheme_;
    std::string userName_;
    std::string password_;
    std::string host_;
    std::string path_;
    int32_t port_ = -1;
    std::string query_;
    std::string fragment_;
};

}  // namespace oss
