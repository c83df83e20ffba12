// Zip archives made by the tests themselves, byte for byte, so that a test can damage them where
// it wants: the offsets of each entry's local header, data and central record are known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class ZipWriter {
  public:
    static constexpr uint16_t kStored = 0;
    static constexpr uint16_t kDeflated = 8;
    static constexpr uint32_t kFolderAttributes = 0x10;

    // An entry dated 2021-03-04 05:06:08 (local time). Stored and deflated data are encoded;
    // with any other method the bytes are written as they are.
    ZipWriter& Add(const std::string& name, const std::string& data, uint16_t method = kStored,
                   uint32_t attributes = 0);
    // Every file and folder under `tree`, named relative to it with '/'; folders get entries of
    // their own only when `folderEntries` is set (as a folder that holds no file needs).
    ZipWriter& AddTree(const std::filesystem::path& tree, bool folderEntries, uint16_t method);

    // Writes every size as 0xFFFFFFFF in the local header and the central record and the real
    // ones in a zip64 extra field of each (20 bytes), as a writer that streams its entries may.
    ZipWriter& WithZip64Sizes() {
        zip64Sizes_ = true;
        return *this;
    }

    // The archive; the offsets below describe it.
    std::string Bytes();
    size_t LocalHeaderAt(size_t entry) const { return entries_.at(entry).localHeader; }
    size_t DataAt(size_t entry) const;
    // Where the zip64 field's two sizes (uncompressed, then compressed) start in an entry's
    // central record, when written WithZip64Sizes.
    size_t CentralZip64SizesAt(size_t entry) const;
    size_t CompressedSize(size_t entry) const { return entries_.at(entry).encoded.size(); }
    size_t CentralRecordAt(size_t entry) const { return entries_.at(entry).centralRecord; }
    size_t EndRecordAt() const { return endRecord_; }

  private:
    struct Entry {
        std::string name, encoded;
        uint32_t crc = 0, size = 0, attributes = 0;
        uint16_t method = 0;
        size_t localHeader = 0, centralRecord = 0;
    };
    std::vector<Entry> entries_;
    bool zip64Sizes_ = false;
    size_t endRecord_ = 0;
};

// Little-endian fields written into bytes already there.
void Put16(std::string& bytes, size_t at, uint16_t value);
void Put32(std::string& bytes, size_t at, uint32_t value);
// A raw deflate stream of `data`, as a deflated entry holds it.
std::string Deflate(const std::string& data);
// The CRC-32 of zip and zlib.
uint32_t Crc32(const std::string& data);
// `size` bytes of a fixed pseudo-random sequence (does not deflate).
std::string RandomBytes(size_t size, uint32_t seed);

}  // namespace testsupport
