// An entry's deflated data inflated in one call (libdeflate), for entries small enough to hold
// whole: several times faster than streaming them through zlib. The decompressor and the two
// buffers stay from entry to entry, so an archive of many small entries allocates them once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct libdeflate_decompressor;

class WholeEntryInflater {
  public:
    // Entries whose compressed and uncompressed sizes are both at most this are inflated whole:
    // the two buffers then hold at most twice this, beside what the reading ahead holds. As
    // much as the reading ahead holds, so that the next entry is inflated while this one's
    // pieces wait in its queue.
    static constexpr std::uint64_t kMostBytes = 4 * 1024 * 1024;

    WholeEntryInflater();
    ~WholeEntryInflater();
    WholeEntryInflater(const WholeEntryInflater&) = delete;
    WholeEntryInflater& operator=(const WholeEntryInflater&) = delete;

    // Whether an entry of these sizes can be inflated here; false for larger ones, and when no
    // memory for the decompressor could be had.
    bool Takes(std::uint64_t compressedSize, std::uint64_t uncompressedSize);
    // Room for `size` (at most kMostBytes) compressed bytes, which Inflate reads.
    unsigned char* Input(std::size_t size);
    // Inflates the first `compressedSize` bytes of Input into exactly `size` bytes with the
    // CRC-32 `crc`, then in Output. False when the data is damaged, inflates to more or fewer
    // bytes than `size` or fails its CRC-32.
    bool Inflate(std::size_t compressedSize, std::size_t size, std::uint32_t crc);
    const char* Output() const { return output.get(); }

  private:
    struct FreeDecompressor {
        void operator()(libdeflate_decompressor* decompressor) const;
    };
    // Grows `buffer` (of `room` bytes) to at least `size` bytes; what it held is not kept.
    static void Reserve(std::unique_ptr<char[]>* buffer, std::size_t* room, std::size_t size);

    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor;
    std::unique_ptr<char[]> input;
    std::unique_ptr<char[]> output;
    std::size_t inputRoom = 0;
    std::size_t outputRoom = 0;
};
