#include "resumable_download.h"

#include <cstdint>
#include <iostream>
#include <optional>
#include <string_view>

#include "decimal_number.h"
#include "oss/http_message.h"
#include "transport_status.h"

namespace oss {

namespace {

constexpr int32_t kRangeNotSatisfiable = 416;

// A size or offset: a decimal number that fits in int64_t.
std::optional<int64_t> Number(std::string_view text) {
    const std::optional<uint64_t> value = DecimalNumber(text);
    if (!value || *value > static_cast<uint64_t>(INT64_MAX)) {
        return std::nullopt;
    }
    return static_cast<int64_t>(*value);
}

struct ContentRange {
    int64_t first = 0;
    int64_t last = 0;
    int64_t size = 0;
};

// "bytes <first>-<last>/<size>" with every number given; nothing for any other text.
std::optional<ContentRange> ParseContentRange(std::string_view text) {
    constexpr std::string_view kUnit = "bytes ";
    if (text.substr(0, kUnit.size()) != kUnit) {
        return std::nullopt;
    }
    text.remove_prefix(kUnit.size());
    const size_t dash = text.find('-');
    const size_t slash = text.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
        return std::nullopt;
    }
    const auto first = Number(text.substr(0, dash));
    const auto last = Number(text.substr(dash + 1, slash - dash - 1));
    const auto size = Number(text.substr(slash + 1));
    if (!first || !last || !size || *last < *first || *last >= *size) {
        return std::nullopt;
    }
    return ContentRange{*first, *last, *size};
}

// If-Range compares strongly: a weak ETag cannot guard a resume.
bool IsStrongETag(const std::string& etag) {
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
}

}  // namespace

ResumableDownload::ResumableDownload(const ServiceRequest& request)
    : factory_(request.responseStreamFactory()), progress_(request.transferProgress()) {}

void ResumableDownload::BeforeAttempt(HttpRequest& request) {
    ranged_ = held_ > 0 && !etag_.empty();
    bodyTaken_ = false;
    bodyRefused_ = false;
    bodyOffset_ = 0;
    if (ranged_) {
        request.setHeader(Header::Range, "bytes=" + std::to_string(held_) + "-");
        request.setHeader("If-Range", etag_);
    }
    request.setCrc64CoversObject(true);
    request.setResponseBodyChooser([this](int32_t status, const HeaderCollection& headers) {
        return ChooseBody(status, headers);
    });
    if (progress_.handler) {
        request.setTransferProgress(
            {[this](uint64_t increment, int64_t transferred, int64_t total, void*) {
                 progress_.handler(increment, bodyOffset_ + transferred,
                                   total < 0 ? -1 : bodyOffset_ + total, progress_.userData);
             },
             progress_.userData, progress_.cancelled});
    }
}

ResponseBodyTarget ResumableDownload::ChooseBody(int32_t status, const HeaderCollection& headers) {
    if (ranged_ && status == 206) {
        if (!ContinuesHeldBytes(headers)) {
            bodyRefused_ = true;
            return {};
        }
        stream_->clear();
        stream_->seekp(held_);
        if (stream_->fail()) {
            bodyRefused_ = true;
            return {};
        }
        bodyTaken_ = true;
        bodyOffset_ = held_;
        return {stream_, heldCrc64_};
    }
    // The object from byte 0 (a 200, also when it ignored the Range or If-Range found the object
    // replaced): a fresh stream, so that no byte of an earlier body stays behind.
    ForgetHeldBytes();
    stream_ = factory_ ? factory_() : nullptr;
    bodyTaken_ = stream_ != nullptr;
    const std::string etag = HeaderValue(headers, Header::ETag);
    etag_ = IsStrongETag(etag) ? etag : std::string();
    if (status == 200) {
        objectSize_ = Number(HeaderValue(headers, Header::ContentLength)).value_or(-1);
    }
    return {stream_, 0};
}

bool ResumableDownload::ContinuesHeldBytes(const HeaderCollection& headers) const {
    const auto range = ParseContentRange(HeaderValue(headers, Header::ContentRange));
    return range && range->first == held_ && range->last == range->size - 1 &&
           (objectSize_ < 0 || range->size == objectSize_) &&
           HeaderValue(headers, Header::ETag) == etag_ && stream_ != nullptr;
}

void ResumableDownload::ForgetHeldBytes() {
    stream_.reset();
    held_ = 0;
    heldCrc64_ = 0;
    etag_.clear();
    objectSize_ = -1;
}

AttemptObserver::Verdict ResumableDownload::AfterAttempt(HttpResponse& response) {
    if (bodyRefused_ || (ranged_ && response.statusCode() == kRangeNotSatisfiable)) {
        // The held bytes cannot be continued: the next attempt fetches the object from byte 0,
        // into a fresh stream.
        ForgetHeldBytes();
        return Verdict::StartOver;
    }
    if (!bodyTaken_) {
        return Verdict::NoProgress;
    }
    if (response.statusCode() == TransportStatus(CURLE_WRITE_ERROR)) {
        // What reached the stream is not known: nothing of it is continued.
        ForgetHeldBytes();
        return Verdict::NoProgress;
    }
    const HttpRequest& request = *response.request();
    held_ = bodyOffset_ + request.transferredBytes();
    heldCrc64_ = request.crc64Result();
    if (held_ > mostHeld_) {
        mostHeld_ = held_;
        return Verdict::Progress;
    }
    return Verdict::NoProgress;
}

}  // namespace oss
