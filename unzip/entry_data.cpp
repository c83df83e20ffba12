#include "unzip/entry_data.h"

#include <libdeflate.h>
#include <unzip.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kStored = 0;
constexpr std::uint32_t kDeflated = 8;

}  // namespace

ZipEntryReader::ZipEntryReader(void* archive, ArchiveFile* file, WholeEntryInflater* inflater)
    : archive(archive), file(file), inflater(inflater) {}

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
    // Raw: minizip checks the local header and finds where the stored bytes begin.
    int method = 0;
    int level = 0;
    if (file == nullptr || unzOpenCurrentFile2(archive, &method, &level, 1) != UNZ_OK)
        return false;
    open = true;
    dataAt = unzGetCurrentFileZStreamPos64(archive);
    unread = declared.compressedSize;
    crc = 0;
    if (declared.compressionMethod == kDeflated) {
        if (inflater == nullptr) {
            ownInflater = std::make_unique<WholeEntryInflater>();
            inflater = ownInflater.get();
        }
        whole = inflater->Takes(declared.compressedSize, declared.uncompressedSize);
        if (whole)
            return true;
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
    if (whole)
        return ReadWhole(out, size);
    int n = declared.compressionMethod == kStored ? ReadStored(out, size) : ReadDeflated(out, size);
    if (n < 0)
        return Fail();
    if (n == 0)
        return Finish();
    produced += static_cast<std::uint64_t>(n);
    // Data past the declared size fails before it is handed on (a known zip-bomb form).
    if (produced > declared.uncompressedSize)
        return Fail();
    crc = libdeflate_crc32(crc, out, static_cast<std::size_t>(n));
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

// At most the stored bytes the entry still declares; an archive that ends before them is damaged.
int ZipEntryReader::ReadRaw(void* out, std::size_t size) {
    if (unread < size)
        size = static_cast<std::size_t>(unread);
    if (size == 0)
        return 0;
    const std::size_t n = ReadArchiveBytes(*file, dataAt, out, size);
    if (n == 0)
        return -1;
    dataAt += n;
    unread -= n;
    return static_cast<int>(n);
}

int ZipEntryReader::ReadStored(char* out, std::size_t size) {
    return ReadRaw(out, size);
}

// Inflates until some output is there or the deflate stream has ended; a stream that still
// wants input when the entry's compressed bytes are used up is damaged.
int ZipEntryReader::ReadDeflated(char* out, std::size_t size) {
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = static_cast<uInt>(size);
    while (stream.avail_out == size && !streamEnded) {
        if (stream.avail_in == 0 && !inputEnded) {
            int n = ReadRaw(input.get(), kInputChunk);
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

// Reads all the entry's compressed bytes and inflates them at the first call, so that nothing of
// an entry that fails is handed out; then hands the output out piece by piece.
int ZipEntryReader::ReadWhole(char* out, std::size_t size) {
    if (!inflated) {
        if (!InflateWhole())
            return Fail();
        inflated = true;
    }
    const std::uint64_t left = declared.uncompressedSize - produced;
    if (left == 0) {
        finished = true;
        return 0;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
    std::memcpy(out, inflater->Output() + produced, n);
    produced += n;
    return static_cast<int>(n);
}

bool ZipEntryReader::InflateWhole() {
    const std::size_t compressed = static_cast<std::size_t>(declared.compressedSize);
    unsigned char* bytes = inflater->Input(compressed);
    for (std::size_t at = 0; at < compressed;) {
        const int n = ReadRaw(bytes + at, compressed - at);
        if (n <= 0)
            return false;
        at += static_cast<std::size_t>(n);
    }
    return inflater->Inflate(compressed, static_cast<std::size_t>(declared.uncompressedSize),
                             declared.crc32);
}
