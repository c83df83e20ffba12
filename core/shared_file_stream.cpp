#include "core/shared_file_stream.h"

#include <share.h>

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <utility>

#include "oss/crypto.h"

StreamDigest::StreamDigest()
    : digest_(std::make_unique<oss::Digest>(oss::DigestAlgorithm::Sha256)) {}

StreamDigest::~StreamDigest() = default;

void StreamDigest::Written(std::int64_t offset, const char* data, std::int64_t count) {
    if (offset != static_cast<std::int64_t>(size_))
        inOrder_ = false;
    if (!inOrder_ || count <= 0)
        return;
    digest_->update(data, static_cast<size_t>(count));
    size_ += static_cast<std::uint64_t>(count);
}

std::string StreamDigest::Finish() {
    std::string sha256 = digest_->finish();
    return inOrder_ ? sha256 : std::string();
}

namespace {

// An unbuffered stream buffer over a runtime file: the file's own buffer does the buffering.
class FileStreamBuffer : public std::streambuf {
  public:
    FileStreamBuffer(FILE* file, std::shared_ptr<StreamDigest> digest)
        : file_(file), digest_(std::move(digest)) {}
    ~FileStreamBuffer() override { fclose(file_); }
    FileStreamBuffer(const FileStreamBuffer&) = delete;
    FileStreamBuffer& operator=(const FileStreamBuffer&) = delete;

  protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        const auto written =
            static_cast<std::streamsize>(fwrite(data, 1, static_cast<size_t>(count), file_));
        Advance(data, written, true);
        return written;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return fflush(file_) == 0 ? traits_type::not_eof(c) : traits_type::eof();
        if (fputc(traits_type::to_char_type(c), file_) == EOF)
            return traits_type::eof();
        const char byte = traits_type::to_char_type(c);
        Advance(&byte, 1, true);
        return c;
    }
    std::streamsize xsgetn(char* data, std::streamsize count) override {
        const auto got =
            static_cast<std::streamsize>(fread(data, 1, static_cast<size_t>(count), file_));
        Advance(data, got, false);
        return got;
    }
    int_type underflow() override {
        int c = fgetc(file_);
        if (c == EOF)
            return traits_type::eof();
        ungetc(c, file_);
        return c;
    }
    int_type uflow() override {
        int c = fgetc(file_);
        if (c == EOF)
            return traits_type::eof();
        Advance(nullptr, 1, false);
        return c;
    }
    int sync() override { return fflush(file_) == 0 ? 0 : -1; }
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                     std::ios_base::openmode) override {
        int whence = direction == std::ios_base::beg   ? SEEK_SET
                     : direction == std::ios_base::cur ? SEEK_CUR
                                                       : SEEK_END;
        if (_fseeki64(file_, offset, whence) != 0)
            return pos_type(off_type(-1));
        position_ = _ftelli64(file_);
        return pos_type(position_);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode mode) override {
        return seekoff(off_type(position), std::ios_base::beg, mode);
    }

  private:
    // Keeps the file position (the file starts empty) and hands writes to the digest.
    void Advance(const char* data, std::streamsize count, bool written) {
        if (written && digest_)
            digest_->Written(position_, data, count);
        position_ += count;
    }

    FILE* file_;
    std::shared_ptr<StreamDigest> digest_;
    std::int64_t position_ = 0;
};

class SharedFileStream : public std::iostream {
  public:
    SharedFileStream(FILE* file, std::shared_ptr<StreamDigest> digest)
        : std::iostream(nullptr), buffer_(file, std::move(digest)) {
        rdbuf(&buffer_);
    }

  private:
    FileStreamBuffer buffer_;
};

}  // namespace

std::shared_ptr<std::iostream> OpenSharedFileStream(const char* path,
                                                    std::shared_ptr<StreamDigest> digest) {
    FILE* file = _fsopen(path, "w+b", _SH_DENYNO);
    if (file == nullptr)
        return nullptr;
    return std::make_shared<SharedFileStream>(file, std::move(digest));
}
