// Pool of libcurl easy handles shared by the calls of one CurlHttpClient.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace oss {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// Handles are created on demand, doubling up to maxSize, and reused most recently returned
// first so that the next request finds the connection its handle keeps open.
class CurlHandlePool {
  public:
    using CreateHandle = CURL* (*)();

    // createHandle stands in for curl_easy_init (tests make it fail). A maxSize below 1 is 1.
    CurlHandlePool(int32_t maxSize, int32_t requestTimeoutMs, int32_t connectTimeoutMs,
                   CreateHandle createHandle = &curl_easy_init);
    // Waits until every handle is back, then closes them all.
    ~CurlHandlePool();

    CurlHandlePool(const CurlHandlePool&) = delete;
    CurlHandlePool& operator=(const CurlHandlePool&) = delete;

    // A free handle, growing the pool when none is free, else waiting for one to come back.
    // Null when no handle exists and none can be created, or when the pool is being destroyed.
    CurlEasyHandle acquire();
    void release(CurlEasyHandle handle);
    // Adds min(maxSize - poolSize, 2 * max(poolSize, 1)) handles, fewer when creation fails.
    void grow();
    // A new handle with the default options, or null when libcurl cannot make one. It does not
    // count towards poolSize: it is meant to replace a handle of the pool.
    CurlEasyHandle createHandle() const;
    void applyDefaultOptions(CURL* handle) const;

    uint32_t poolSize() const { return poolSize_.load(); }

  private:
    std::vector<CurlEasyHandle> freeHandles_;
    std::mutex mutex_;
    std::condition_variable handleReturned_;
    std::atomic<bool> shuttingDown_{false};
    const uint32_t maxSize_;
    const uint32_t requestTimeoutMs_;
    const uint32_t connectTimeoutMs_;
    std::atomic<uint32_t> poolSize_{0};  // written under growMutex_
    std::mutex growMutex_;
    const CreateHandle createHandle_;
};

}  // namespace oss
