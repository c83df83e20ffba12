#include "oss/request_utils.h"

#include <ctime>
#include <istream>

#include "calendar_time.h"
#include "oss/crypto.h"
#include "oss/url.h"

namespace oss {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Remembers the read position, 0 when it cannot be read (the stream's state is cleared then).
std::streampos ReadPosition(std::istream& stream) {
    const std::streampos position = stream.tellg();
    if (position == std::streampos(-1)) {
        stream.clear();
        return 0;
    }
    return position;
}

}  // namespace

std::string PercentEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0xF];
        }
    }
    return encoded;
}

std::string GmtDateString(int64_t secondsSince1970) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto seconds = static_cast<std::time_t>(secondsSince1970);
    std::tm utc{};
    if (!ToUtcTime(seconds, utc)) {
        return std::string();
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d GMT", kDays[utc.tm_wday % 7],
                  utc.tm_mday, kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour,
                  utc.tm_min, utc.tm_sec);
    return text;
}

std::string BucketHost(const std::string& endpoint, const std::string& bucket, bool isCname) {
    Url url(endpoint);
    const std::string scheme = url.scheme().empty() ? std::string("http") : url.scheme();
    if (!bucket.empty() && !isCname && !IsIpv4Host(url.host())) {
        url.setHost(bucket + "." + url.host());
    }
    return scheme + "://" + url.authority();
}

std::string ObjectPath(const std::string& endpoint, const std::string& bucket,
                       const std::string& key) {
    std::string path = "/";
    // An empty bucket would leave an empty first segment ("//key").
    if (IsIpv4Host(Url(endpoint).host()) && !bucket.empty()) {
        path += bucket;
        path += '/';
    }
    path += PercentEncode(key);
    return path;
}

// Four dot-separated numbers of one to three digits, each 0-255 and without a leading zero.
bool IsIpv4Host(const std::string& host) {
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= host.size() || host[pos] != '.') {
                return false;
            }
            ++pos;
        }
        const size_t start = pos;
        int value = 0;
        while (pos < host.size() && pos - start < 3 && IsDigit(host[pos])) {
            value = value * 10 + (host[pos] - '0');
            ++pos;
        }
        const size_t digits = pos - start;
        if (digits == 0 || (digits > 1 && host[start] == '0') || value > 255) {
            return false;
        }
    }
    return pos == host.size();
}

bool BucketNameIsValid(const std::string& name) {
    if (name.size() < 3 || name.size() > 63) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool edge = i == 0 || i + 1 == name.size();
        if (!((c >= 'a' && c <= 'z') || IsDigit(c) || (!edge && c == '-'))) {
            return false;
        }
    }
    return true;
}

bool ObjectKeyIsValid(const std::string& key) {
    return !key.empty() && key.size() <= 1023 && key.front() != '/' && key.front() != '\\';
}

std::string ContentMd5Of(std::istream& stream) {
    const std::streampos position = ReadPosition(stream);
    Digest md5(DigestAlgorithm::Md5);

    stream.seekg(0, std::ios_base::beg);
    char block[2048];
    while (true) {
        stream.read(block, sizeof block);
        const std::streamsize got = stream.gcount();
        if (got > 0) {
            md5.update(block, static_cast<size_t>(got));
        }
        if (!stream) {
            break;
        }
    }
    stream.clear();
    stream.seekg(position);

    const std::string digest = md5.finish();
    if (digest.empty()) {
        return std::string();
    }
    return Base64Encode(reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
}

int64_t StreamLengthOf(std::istream& stream) {
    const std::streampos position = ReadPosition(stream);
    stream.seekg(0, std::ios_base::end);
    const std::streampos end = stream.tellg();
    stream.clear();
    stream.seekg(position);
    return end == std::streampos(-1) ? -1 : static_cast<int64_t>(end);
}

}  // namespace oss
