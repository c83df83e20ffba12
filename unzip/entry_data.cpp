#include "unzip/entry_data.h"

#include <unzip.h>

namespace {

constexpr std::uint32_t kStored = 0;
constexpr std::uint32_t kDeflated = 8;

}  // namespace

ZipEntryReader::ZipEntryReader(void* archive) : archive(archive) {}

ZipEntryReader::~ZipEntryReader() {
    if (inflating)
        inflateEnd(&stream);
    if (open)
        unzCloseCurrentFile(archive);
}

bool ZipEntryReader::CanRead(std::uint32_t compressionMethod) {
    return compressionMethod == kStored || compressionMethod == kDeflated;
}

bool ZipEntryReader::Open(const ZipEntryDeclaration& declaration) {
    declared = declaration;
    if (!CanRead(declared.compressionMethod))
        return false;
    if (declared.compressionMethod == kStored &&
        declared.compressedSize != declared.uncompressedSize)
        return false;
    // Raw: minizip hands over the stored bytes, at most the declared compressed size of them.
    int method = 0;
    int level = 0;
    if (unzOpenCurrentFile2(archive, &method, &level, 1) != UNZ_OK)
        return false;
    open = true;
    crc = crc32(0, nullptr, 0);
    if (declared.compressionMethod == kDeflated) {
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return false;
        input.reset(new unsigned char[kInputChunk]);
        inflating = true;
    }
    return true;
}

int ZipEntryReader::Read(char* out, std::size_t size) {
    if (failed || !open)
        return -1;
    if (finished || size == 0)
        return 0;
    int n = declared.compressionMethod == kStored ? ReadStored(out, size) : ReadDeflated(out, size);
    if (n < 0)
        return Fail();
    if (n == 0)
        return Finish();
    produced += static_cast<std::uint64_t>(n);
    // Data past the declared size fails before it is handed on (a known zip-bomb form).
    if (produced > declared.uncompressedSize)
        return Fail();
    crc = crc32(crc, reinterpret_cast<const Bytef*>(out), static_cast<uInt>(n));
    return n;
}

int ZipEntryReader::Fail() {
    failed = true;
    return -1;
}

int ZipEntryReader::Finish() {
    if (produced != declared.uncompressedSize || crc != declared.crc32)
        return Fail();
    finished = true;
    return 0;
}

int ZipEntryReader::ReadStored(char* out, std::size_t size) {
    int n = unzReadCurrentFile(archive, out, static_cast<unsigned>(size));
    return n < 0 ? -1 : n;
}

// Inflates until some output is there or the deflate stream has ended; a stream that still
// wants input when the entry's compressed bytes are used up is damaged.
int ZipEntryReader::ReadDeflated(char* out, std::size_t size) {
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = static_cast<uInt>(size);
    while (stream.avail_out == size && !streamEnded) {
        if (stream.avail_in == 0 && !inputEnded) {
            int n = unzReadCurrentFile(archive, input.get(), kInputChunk);
            if (n < 0)
                return -1;
            inputEnded = n == 0;
            stream.next_in = input.get();
            stream.avail_in = static_cast<uInt>(n);
        }
        int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            streamEnded = true;
        else if (result == Z_BUF_ERROR && !inputEnded)
            continue;
        else if (result != Z_OK)
            return -1;
    }
    return static_cast<int>(size - stream.avail_out);
}
