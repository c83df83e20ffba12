#include "oss/http_message.h"

#include <algorithm>
#include <iterator>

#include "text_helpers.h"

namespace oss {

namespace {

constexpr const char* kMethodTexts[] = {"GET",     "HEAD",    "POST",  "PUT",  "DELETE",
                                        "CONNECT", "OPTIONS", "PATCH", "TRACE"};
constexpr const char* kSchemeTexts[] = {"http", "https"};

}  // namespace

const char* HttpMethodText(HttpMethod method) {
    const auto index = static_cast<size_t>(method);
    return index < std::size(kMethodTexts) ? kMethodTexts[index] : "";
}

const char* HttpSchemeText(HttpScheme scheme) {
    const auto index = static_cast<size_t>(scheme);
    return index < std::size(kSchemeTexts) ? kSchemeTexts[index] : "";
}

bool HeaderNameLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(LowerAscii(x)) <
               static_cast<unsigned char>(LowerAscii(y));
    });
}

std::string HeaderValue(const HeaderCollection& headers, const std::string& name) {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

void HttpMessage::setHeader(const std::string& name, const std::string& value) {
    headers_[name] = value;
}

std::string HttpMessage::getHeader(const std::string& name) const {
    return HeaderValue(headers_, name);
}

bool HttpMessage::hasHeader(const std::string& name) const {
    return headers_.count(name) != 0;
}

void HttpMessage::removeHeader(const std::string& name) {
    headers_.erase(name);
}

}  // namespace oss
