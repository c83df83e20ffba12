// Text helpers of request building: encoding, dates, host and path forms, name checks, bodies.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace oss {

// Keeps ASCII letters, digits and "-._~"; every other byte becomes %XX (upper-case hex).
std::string PercentEncode(const std::string& text);

// "Thu, 01 Jan 1970 00:00:00 GMT" form in UTC, English names whatever the locale.
std::string GmtDateString(int64_t secondsSince1970);

// scheme://authority for the bucket: "http" when the endpoint names no scheme; the bucket goes in
// front of the host unless the endpoint is the bucket's own domain or an IPv4 address.
std::string BucketHost(const std::string& endpoint, const std::string& bucket, bool isCname);

// "/" + (bucket + "/" for an IPv4 endpoint) + the percent-encoded key.
std::string ObjectPath(const std::string& endpoint, const std::string& bucket,
                       const std::string& key);

// A dotted quad of decimal numbers 0-255 without leading zeros.
bool IsIpv4Host(const std::string& host);
// 3 to 63 of a-z, 0-9 and "-", starting and ending with a letter or digit.
bool BucketNameIsValid(const std::string& name);
// 1 to 1023 bytes, not starting with "/" or "\".
bool ObjectKeyIsValid(const std::string& key);

// Base64 of the MD5 of the whole stream (24 characters), or "" when MD5 is unavailable. The read
// position is restored; an unreadable position counts as 0.
std::string ContentMd5Of(std::istream& stream);
// Position of the stream's end, or -1 when it cannot be sought. The read position is restored.
int64_t StreamLengthOf(std::istream& stream);

}  // namespace oss
