#include "unzip/whole_entry_inflater.h"

#include <gtest/gtest.h>

#include "zip_writer.h"

#include <cstring>
#include <string>

namespace {

using testsupport::Crc32;
using testsupport::Deflate;

// Numbered lines: they deflate with Huffman tables of their own and to far fewer bytes.
std::string Lines(size_t size) {
    std::string text;
    for (size_t line = 0; text.size() < size; ++line)
        text += "entry line " + std::to_string(line * 7919 % 100003) + "\r\n";
    text.resize(size);
    return text;
}

// Inflates `compressed` as an entry declared of `size` bytes and `crc`; the output, or
// "(failed)".
std::string Inflated(WholeEntryInflater& inflater, const std::string& compressed, size_t size,
                     uint32_t crc) {
    if (!inflater.Takes(compressed.size(), size))
        return "(not taken)";
    std::memcpy(inflater.Input(compressed.size()), compressed.data(), compressed.size());
    if (!inflater.Inflate(compressed.size(), size, crc))
        return "(failed)";
    return std::string(inflater.Output(), size);
}

// Data that runs past its declared size, ends short of it, is damaged or fails its CRC-32 fails
// as the streaming reader fails it.
TEST(WholeEntryInflater, HoldsDataToItsDeclaredSizeAndCrc) {
    const std::string data = Lines(5000);
    const std::string compressed = Deflate(data);
    const uint32_t crc = Crc32(data);
    std::string damaged = compressed;
    damaged.replace(damaged.size() / 2, 8, "\xff\xff\xff\xff\xff\xff\xff\xff");
    struct Row {
        const char* what;
        std::string compressed;
        size_t size;
        uint32_t crc;
    } rows[] = {
        {"runs past its size", compressed, data.size() - 1, Crc32(data.substr(0, 4999))},
        {"ends short", compressed, data.size() + 1, crc},
        {"wrong CRC-32", compressed, data.size(), crc ^ 1},
        {"damaged", damaged, data.size(), crc},
        // The last byte of the stream lies beyond the declared compressed size.
        {"cut short by a byte", compressed.substr(0, compressed.size() - 1), data.size(), crc},
        {"no bytes at all", "", 0, 0},
        {"reserved block type", std::string(64, '\xff'), 64, 0},
    };
    WholeEntryInflater inflater;
    for (const Row& row : rows)
        EXPECT_EQ(Inflated(inflater, row.compressed, row.size, row.crc), "(failed)") << row.what;
    EXPECT_TRUE(Inflated(inflater, compressed, data.size(), crc) == data);
    // A stream followed by bytes that are not its own: they are not read.
    EXPECT_TRUE(Inflated(inflater, compressed + "tail", data.size(), crc) == data);
    EXPECT_EQ(Inflated(inflater, Deflate(""), 0, 0), "") << "an empty entry";
}

// The fixed-code stream of a few bytes ends in a block-end code of seven zero bits: the
// decompressor must not complete it from zero bytes past the end of what was read.
TEST(WholeEntryInflater, ShortFixedCodeStreamsCutByAByteFail) {
    WholeEntryInflater inflater;
    for (const std::string data : {"a", "hello", "hello hello hello", "0123456789"}) {
        const std::string compressed = Deflate(data);
        EXPECT_EQ(Inflated(inflater, compressed.substr(0, compressed.size() - 1), data.size(),
                           Crc32(data)),
                  "(failed)")
            << data;
    }
}

// The buffers grow and are used again: every entry comes out whole after larger and smaller ones.
TEST(WholeEntryInflater, EntriesOfChangingSizesOneAfterAnother) {
    WholeEntryInflater inflater;
    const size_t most = static_cast<size_t>(WholeEntryInflater::kMostBytes);
    for (size_t size : {size_t{1000}, most, size_t{10}, size_t{300000}, size_t{0}, most - 1}) {
        const std::string data = Lines(size);
        EXPECT_TRUE(Inflated(inflater, Deflate(data), size, Crc32(data)) == data) << size;
    }
    EXPECT_EQ(Inflated(inflater, "", WholeEntryInflater::kMostBytes + 1, 0), "(not taken)");
    EXPECT_EQ(Inflated(inflater, std::string(most + 1, '\0'), 10, 0), "(not taken)");
}

}  // namespace
