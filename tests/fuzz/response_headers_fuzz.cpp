// The response-header parser: the input is the header block of one or more answers, handed to
// the transport's header callback line by line as libcurl hands it, then read as object metadata.
#include <curl/curl.h>

#include <memory>
#include <string_view>

#include "fuzz_support.h"
#include "oss/results.h"
#include "transfer_context.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CURL* const handle = curl_easy_init();
    oss::HttpResponse response(std::make_shared<oss::HttpRequest>(oss::HttpMethod::Get));
    oss::TransferContext context;
    context.curlHandle = handle;
    context.response = &response;

    std::string text = fuzzsupport::Text(data, size);
    size_t start = 0;
    while (start < text.size()) {
        const size_t newline = text.find('\n', start);
        const size_t end = newline == std::string::npos ? text.size() : newline + 1;
        std::string line = text.substr(start, end - start);
        if (oss::recvHeaders(line.data(), 1, line.size(), &context) != line.size())
            break;
        start = end;
    }
    for (const auto& [name, value] : response.getHeaders()) {
        FUZZ_CHECK(!name.empty() && name.find(':') == std::string::npos);
        FUZZ_CHECK(value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
    }
    const oss::ObjectMetadata metadata(response.getHeaders());
    (void)metadata.contentLength();
    (void)metadata.system("ETag");
    return 0;
}
