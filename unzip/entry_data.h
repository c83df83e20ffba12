// The data of one zip entry, read as it is stored and inflated here, so that what the central
// directory declares is held to: only stored (0) and deflated (8) data is read, exactly its
// declared compressed size of it, an entry yields exactly its declared size, never a byte more,
// and its CRC-32 must match. minizip checks the local header; the bytes after it are read from
// the archive file directly, since minizip's own count of them is wrong for zip64 sizes where
// unsigned long has 64 bits (see ReadEntryRecord). A deflated entry small enough to hold whole is
// read and inflated in one go (WholeEntryInflater), a larger one streams through zlib.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "unzip/archive_file.h"
#include "unzip/whole_entry_inflater.h"

// What the central directory declares about an entry's data.
struct ZipEntryDeclaration {
    std::uint32_t compressionMethod;
    std::uint32_t crc32;
    std::uint64_t compressedSize;
    std::uint64_t uncompressedSize;
};

// Reads the entry the archive stands on; `file` is the archive's file (ArchiveFile of
// BufferedArchiveFileFunctions). The entry is closed when the reader goes. `inflater`, when given,
// is used for small entries instead of one of the reader's own, so that its memory serves many
// entries; it must outlive the reader.
class ZipEntryReader {
  public:
    ZipEntryReader(void* archive, ArchiveFile* file, WholeEntryInflater* inflater = nullptr);
    ~ZipEntryReader();
    ZipEntryReader(const ZipEntryReader&) = delete;
    ZipEntryReader& operator=(const ZipEntryReader&) = delete;

    // True for the methods that can be read: stored and deflated.
    static bool CanRead(std::uint32_t compressionMethod);

    // Opens the current entry; false when its method cannot be read, a stored entry's two sizes
    // differ, or minizip cannot open it (bad local header).
    bool Open(const ZipEntryDeclaration& declared);
    // Up to `size` bytes of data; 0 at the end, once the declared size and CRC-32 have been met;
    // -1 when the data is damaged, ends short, runs past the declared size or fails its CRC-32.
    int Read(char* out, std::size_t size);

  private:
    int Fail();
    int Finish();
    int ReadRaw(void* out, std::size_t size);
    int ReadStored(char* out, std::size_t size);
    int ReadDeflated(char* out, std::size_t size);
    bool InflateWhole();
    int ReadWhole(char* out, std::size_t size);

    void* archive;
    ArchiveFile* file;
    ZipEntryDeclaration declared{};
    bool open = false;
    bool inflating = false;
    bool whole = false;     // the entry is inflated whole by `inflater`
    bool inflated = false;  // and has been, into its output
    bool inputEnded = false;
    bool streamEnded = false;
    bool failed = false;
    bool finished = false;
    std::uint64_t produced = 0;
    ZPOS64_T dataAt = 0;       // where the next stored byte of the entry lies in the archive
    std::uint64_t unread = 0;  // stored bytes of the entry not yet read
    std::uint32_t crc = 0;
    z_stream stream{};
    static constexpr std::size_t kInputChunk = 64 * 1024;
    std::unique_ptr<unsigned char[]> input;
    WholeEntryInflater* inflater;
    std::unique_ptr<WholeEntryInflater> ownInflater;
};
