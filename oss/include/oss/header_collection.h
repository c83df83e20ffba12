// Ordered, case-insensitive map of HTTP header names to values.
#pragma once

#include <map>
#include <string>

namespace oss {

// Orders names by their lower-cased bytes (C locale); a name that is a prefix of another sorts
// first. Names differing only in case are equivalent.
struct HeaderNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// A name keeps the spelling it was first inserted with; iteration follows HeaderNameLess.
using HeaderCollection = std::map<std::string, std::string, HeaderNameLess>;

// The value of header `name` (case ignored); empty when it is absent.
std::string HeaderValue(const HeaderCollection& headers, const std::string& name);

}  // namespace oss
