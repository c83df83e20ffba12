#include "core/shared_file_stream.h"

#include <share.h>

#include <cstdio>
#include <iostream>
#include <streambuf>

namespace {

// An unbuffered stream buffer over a runtime file: the file's own buffer does the buffering.
class FileStreamBuffer : public std::streambuf {
  public:
    explicit FileStreamBuffer(FILE* file) : file_(file) {}
    ~FileStreamBuffer() override { fclose(file_); }
    FileStreamBuffer(const FileStreamBuffer&) = delete;
    FileStreamBuffer& operator=(const FileStreamBuffer&) = delete;

  protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        return static_cast<std::streamsize>(fwrite(data, 1, static_cast<size_t>(count), file_));
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return fflush(file_) == 0 ? traits_type::not_eof(c) : traits_type::eof();
        return fputc(traits_type::to_char_type(c), file_) == EOF ? traits_type::eof() : c;
    }
    std::streamsize xsgetn(char* data, std::streamsize count) override {
        return static_cast<std::streamsize>(fread(data, 1, static_cast<size_t>(count), file_));
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
        return c == EOF ? traits_type::eof() : c;
    }
    int sync() override { return fflush(file_) == 0 ? 0 : -1; }
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                     std::ios_base::openmode) override {
        int whence = direction == std::ios_base::beg   ? SEEK_SET
                     : direction == std::ios_base::cur ? SEEK_CUR
                                                       : SEEK_END;
        if (_fseeki64(file_, offset, whence) != 0)
            return pos_type(off_type(-1));
        return pos_type(_ftelli64(file_));
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode mode) override {
        return seekoff(off_type(position), std::ios_base::beg, mode);
    }

  private:
    FILE* file_;
};

class SharedFileStream : public std::iostream {
  public:
    explicit SharedFileStream(FILE* file) : std::iostream(nullptr), buffer_(file) {
        rdbuf(&buffer_);
    }

  private:
    FileStreamBuffer buffer_;
};

}  // namespace

std::shared_ptr<std::iostream> OpenSharedFileStream(const char* path) {
    FILE* file = _fsopen(path, "w+b", _SH_DENYNO);
    if (file == nullptr)
        return nullptr;
    return std::make_shared<SharedFileStream>(file);
}
