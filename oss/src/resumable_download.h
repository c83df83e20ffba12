// A download whose retries continue where the last attempt stopped, instead of from byte 0.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "oss/client.h"
#include "oss/service_request.h"

namespace oss {

// Follows the attempts of one whole-object GET. After an attempt that left bytes in the
// caller's stream, the next one asks for the rest ("Range: bytes=<held>-"), guarded by
// "If-Range: <ETag>" so that an object replaced in between comes whole from byte 0. The body
// of an answer is appended only when it is a 206 from exactly the bytes held, of the same
// object (ETag, size); a 200 starts a fresh stream from the factory (which empties the file),
// and a 416 or a 206 that does not fit starts the download over. The CRC-64 runs on over the
// whole object, and the caller's progress handler sees counts of the whole object.
class ResumableDownload : public AttemptObserver {
  public:
    // Takes the request's stream factory and progress handler; the request itself is not kept.
    explicit ResumableDownload(const ServiceRequest& request);

    void BeforeAttempt(HttpRequest& request) override;
    // Progress when the attempt took the bytes held beyond the most ever held before.
    Verdict AfterAttempt(HttpResponse& response) override;

  private:
    ResponseBodyTarget ChooseBody(int32_t status, const HeaderCollection& headers);
    bool ContinuesHeldBytes(const HeaderCollection& headers) const;
    void ForgetHeldBytes();

    ResponseStreamFactory factory_;
    TransferProgress progress_;

    // What the earlier attempts left: the stream, the bytes of the object at its start, their
    // CRC-64, and the object they came from.
    std::shared_ptr<std::iostream> stream_;
    int64_t held_ = 0;
    uint64_t heldCrc64_ = 0;
    std::string etag_;         // as the server wrote it; empty: the bytes cannot be continued
    int64_t objectSize_ = -1;  // -1 when no answer told it
    int64_t mostHeld_ = 0;

    // The attempt under way.
    bool ranged_ = false;
    bool bodyTaken_ = false;
    bool bodyRefused_ = false;
    int64_t bodyOffset_ = 0;  // where in the object this attempt's body begins
};

}  // namespace oss
