// Method, scheme and header-name vocabulary shared by every layer of the storage client.
#pragma once

namespace oss {

enum class HttpMethod { Get, Head, Post, Put, Delete, Connect, Options, Patch, Trace };

enum class HttpScheme { Http, Https };

// "GET", "HEAD", ...; an out-of-range value gives "".
const char* HttpMethodText(HttpMethod method);
// "http" or "https"; an out-of-range value gives "".
const char* HttpSchemeText(HttpScheme scheme);

namespace Header {
inline constexpr char Accept[] = "Accept";
inline constexpr char AcceptCharset[] = "Accept-Charset";
inline constexpr char AcceptEncoding[] = "Accept-Encoding";
inline constexpr char AcceptLanguage[] = "Accept-Language";
inline constexpr char Authorization[] = "Authorization";
inline constexpr char CacheControl[] = "Cache-Control";
inline constexpr char ContentDisposition[] = "Content-Disposition";
inline constexpr char ContentEncoding[] = "Content-Encoding";
inline constexpr char ContentLength[] = "Content-Length";
inline constexpr char ContentMd5[] = "Content-MD5";
inline constexpr char ContentRange[] = "Content-Range";
inline constexpr char ContentType[] = "Content-Type";
inline constexpr char Date[] = "Date";
inline constexpr char Expect[] = "Expect";
inline constexpr char Expires[] = "Expires";
inline constexpr char ETag[] = "ETag";
inline constexpr char LastModified[] = "Last-Modified";
inline constexpr char Range[] = "Range";
inline constexpr char UserAgent[] = "User-Agent";
}  // namespace Header

}  // namespace oss
