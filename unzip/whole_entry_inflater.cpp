#include "unzip/whole_entry_inflater.h"

#include <libdeflate.h>

#include <algorithm>
#include <bit>

WholeEntryInflater::WholeEntryInflater() = default;
WholeEntryInflater::~WholeEntryInflater() = default;

void WholeEntryInflater::FreeDecompressor::operator()(libdeflate_decompressor* d) const {
    libdeflate_free_decompressor(d);
}

bool WholeEntryInflater::Takes(std::uint64_t compressedSize, std::uint64_t uncompressedSize) {
    if (compressedSize > kMostBytes || uncompressedSize > kMostBytes)
        return false;
    if (!decompressor)
        decompressor.reset(libdeflate_alloc_decompressor());
    return decompressor != nullptr;
}

void WholeEntryInflater::Reserve(std::unique_ptr<char[]>* buffer, std::size_t* room,
                                 std::size_t size) {
    if (*buffer && *room >= size)
        return;
    // A power of two (up to the bound), so that entries each a little larger than the last do
    // not each allocate anew; one byte at least, for an empty entry to point at.
    const std::size_t most = static_cast<std::size_t>(kMostBytes);
    buffer->reset();
    *room = std::max(size, std::min(std::bit_ceil(std::max<std::size_t>(size, 1)), most));
    buffer->reset(new char[*room]);
}

unsigned char* WholeEntryInflater::Input(std::size_t size) {
    Reserve(&input, &inputRoom, size);
    return reinterpret_cast<unsigned char*>(input.get());
}

bool WholeEntryInflater::Inflate(std::size_t compressedSize, std::size_t size, std::uint32_t crc) {
    Reserve(&output, &outputRoom, size);
    // Without a count of what came out, data that ends short fails as LIBDEFLATE_SHORT_OUTPUT;
    // data that runs past `size` fails as LIBDEFLATE_INSUFFICIENT_SPACE.
    if (libdeflate_deflate_decompress(decompressor.get(), input.get(), compressedSize, output.get(),
                                      size, nullptr) != LIBDEFLATE_SUCCESS)
        return false;
    return libdeflate_crc32(0, output.get(), size) == crc;
}
