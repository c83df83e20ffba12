// The URL parser: any text parses, and the text a valid URL gives back parses to the same URL.
#include "fuzz_support.h"
#include "oss/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const oss::Url url(fuzzsupport::Text(data, size));
    const std::string text = url.toString();
    const std::string authority = url.authority();
    FUZZ_CHECK(text.empty() == (url.isEmpty() || !url.isValid()));
    if (text.empty())
        return 0;
    FUZZ_CHECK(text.find(authority) != std::string::npos);
    const oss::Url again(text);
    FUZZ_CHECK(again.toString() == text);
    FUZZ_CHECK(again.host() == url.host() && again.port() == url.port());
    return 0;
}
