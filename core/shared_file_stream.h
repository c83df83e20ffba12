// A read/write stream over a file that other handles may open meanwhile: where a download's
// body goes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

namespace oss {
class Digest;
}

// The size and SHA-256 of the bytes written through one stream, from the file's start on. The
// digest holds only while every write continued where the last one ended; any other write (or
// a seek before a write) leaves it unusable, so that it can never describe bytes it did not see.
class StreamDigest {
  public:
    StreamDigest();
    ~StreamDigest();
    StreamDigest(const StreamDigest&) = delete;
    StreamDigest& operator=(const StreamDigest&) = delete;

    // `count` bytes written at file offset `offset`.
    void Written(std::int64_t offset, const char* data, std::int64_t count);
    std::uint64_t Size() const { return size_; }
    // The raw SHA-256 of the bytes seen, once; empty when a write broke the order, or on a
    // second call.
    std::string Finish();

  private:
    std::unique_ptr<oss::Digest> digest_;
    std::uint64_t size_ = 0;
    bool inOrder_ = true;
};

// Opens `path` (a Windows path) for input and output, emptied or created, untranslated, with no
// sharing restriction. Null when the file cannot be opened. The file is closed when the last
// owner of the stream lets go of it. With `digest`, every byte written goes through it too.
std::shared_ptr<std::iostream> OpenSharedFileStream(const char* path,
                                                    std::shared_ptr<StreamDigest> digest = nullptr);
