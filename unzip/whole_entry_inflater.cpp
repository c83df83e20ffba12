#include "unzip/whole_entry_inflater.h"

#include <libdeflate.h>

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
    // One byte at least, so that an empty entry still has a buffer to point at.
    if (*buffer && *room >= size)
        return;
    buffer->reset();
    *room = size > 0 ? size : 1;
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
