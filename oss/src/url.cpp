#include "oss/url.h"

#include <limits>

#include "text_helpers.h"

namespace oss {

namespace {

// Reads the leading decimal digits. No digits, or a number too large for a port field, gives 0
// so that an unusable port never wraps into a plausible one.
int32_t ParsePort(const std::string& text) {
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) {
            return 0;
        }
    }
    return static_cast<int32_t>(value);
}

// Splits `text` at the first `separator`: `before` gets the part before it, the return value the
// part after it. Without the separator, `before` gets everything and `found` is false.
std::string SplitFirst(const std::string& text, char separator, std::string& before, bool& found) {
    const auto pos = text.find(separator);
    found = pos != std::string::npos;
    if (!found) {
        before = text;
        return std::string();
    }
    before = text.substr(0, pos);
    return text.substr(pos + 1);
}

// A scheme is a letter followed by letters, digits, "+", "-" or "." (empty for a text that starts
// with "://"). Anything else before a "://" is part of a host, path or query that holds one.
bool IsScheme(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) {
            return false;
        }
    }
    return true;
}

}  // namespace

Url::Url(const std::string& text) {
    std::string rest = text;
    if (text.size() >= 3) {
        const auto pos = text.find("://");
        if (pos != std::string::npos && IsScheme(text.substr(0, pos))) {
            scheme_ = LowerAscii(text.substr(0, pos));
            rest = text.substr(pos + 3);
        }
    }
    if (const auto pos = rest.find('#'); pos != std::string::npos) {
        fragment_ = rest.substr(pos + 1);
        rest.resize(pos);
    }
    if (const auto pos = rest.find('?'); pos != std::string::npos) {
        query_ = rest.substr(pos + 1);
        rest.resize(pos);
    }
    if (const auto pos = rest.find('/'); pos != std::string::npos) {
        path_ = rest.substr(pos);
        rest.resize(pos);
    } else if (!text.empty()) {
        path_.assign(1, '/');  // assign("/") trips a false -Wrestrict in GCC 12
    }

    const std::string& authority = rest;
    if (authority.empty()) {
        return;
    }
    bool found = false;
    // A host holds no "@": the user information runs to the last one, so that the text rebuilt
    // from this URL names the same host.
    const auto at = authority.rfind('@');
    const std::string userInfo = at != std::string::npos ? authority.substr(0, at) : std::string();
    const std::string hostPart = at != std::string::npos ? authority.substr(at + 1) : authority;
    std::string hostText;
    const std::string portText = SplitFirst(hostPart, ':', hostText, found);
    host_ = LowerAscii(hostText);
    port_ = portText.empty() ? -1 : ParsePort(portText);

    if (!userInfo.empty()) {
        password_ = SplitFirst(userInfo, ':', userName_, found);
    }
}

void Url::setScheme(const std::string& scheme) {
    scheme_ = LowerAscii(scheme);
}

void Url::setHost(const std::string& host) {
    host_ = LowerAscii(host);
}

bool Url::isValid() const {
    return !host_.empty() && !(userName_.empty() && !password_.empty());
}

bool Url::isEmpty() const {
    return scheme_.empty() && userName_.empty() && password_.empty() && host_.empty() &&
           path_.empty() && port_ == -1 && query_.empty() && fragment_.empty();
}

std::string Url::authority() const {
    if (isEmpty() || !isValid()) {
        return std::string();
    }
    std::string text;
    if (!userName_.empty()) {
        text += userName_;
        if (!password_.empty()) {
            text += ':';
            text += password_;
        }
        text += '@';
    }
    text += host_;
    if (port_ != -1) {
        text += ':';
        text += std::to_string(port_);
    }
    return text;
}

std::string Url::toString() const {
    if (isEmpty() || !isValid()) {
        return std::string();
    }
    std::string text;
    if (!scheme_.empty()) {
        text += scheme_;
        text += "://";
    }
    text += authority();
    // A path set without its leading slash would otherwise run into the host name.
    if (path_.empty() || path_.front() != '/') {
        text += '/';
    }
    text += path_;
    if (!query_.empty()) {
        text += '?';
        text += query_;
    }
    if (!fragment_.empty()) {
        text += '#';
        text += fragment_;
    }
    return text;
}

}  // namespace oss
