#include "zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <random>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr uint16_t kDosTime = (5 << 11) | (6 << 5) | (8 / 2);
constexpr uint16_t kDosDate = ((2021 - 1980) << 9) | (3 << 5) | 4;

void Append16(std::string& out, uint16_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>(value >> 8);
}

void Append32(std::string& out, uint32_t value) {
    Append16(out, static_cast<uint16_t>(value & 0xffff));
    Append16(out, static_cast<uint16_t>(value >> 16));
}

constexpr uint16_t kZip64FieldBytes = 20;

// The sizes of a header: the 32-bit fields, and after the name the zip64 field when it is used.
void AppendSizes(std::string& out, uint32_t compressed, uint32_t size, bool zip64) {
    Append32(out, zip64 ? 0xFFFFFFFF : compressed);
    Append32(out, zip64 ? 0xFFFFFFFF : size);
}

void AppendZip64Field(std::string& out, uint64_t size, uint64_t compressed) {
    Append16(out, 0x0001);
    Append16(out, 16);
    for (uint64_t value : {size, compressed}) {
        Append32(out, static_cast<uint32_t>(value & 0xffffffff));
        Append32(out, static_cast<uint32_t>(value >> 32));
    }
}

}  // namespace

std::string Deflate(const std::string& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

ZipWriter& ZipWriter::Add(const std::string& name, const std::string& data, uint16_t method,
                          uint32_t attributes) {
    Entry entry;
    entry.name = name;
    entry.method = method;
    entry.attributes = attributes;
    entry.crc = Crc32(data);
    entry.size = static_cast<uint32_t>(data.size());
    entry.encoded = method == kDeflated ? Deflate(data) : data;
    entries_.push_back(std::move(entry));
    return *this;
}

ZipWriter& ZipWriter::AddTree(const std::filesystem::path& tree, bool folderEntries,
                              uint16_t method) {
    std::vector<std::filesystem::path> paths;
    for (const auto& item : std::filesystem::recursive_directory_iterator(tree))
        paths.push_back(item.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        std::string name = std::filesystem::relative(path, tree).generic_string();
        if (std::filesystem::is_directory(path)) {
            if (folderEntries)
                Add(name + "/", "", kStored, kFolderAttributes);
            continue;
        }
        std::string data(std::filesystem::file_size(path), '\0');
        FILE* file = std::fopen(path.string().c_str(), "rb");
        if (!file || std::fread(data.data(), 1, data.size(), file) != data.size())
            throw std::runtime_error("cannot read " + path.string());
        std::fclose(file);
        Add(name, data, method);
    }
    return *this;
}

std::string ZipWriter::Bytes() {
    std::string out;
    for (Entry& entry : entries_) {
        entry.localHeader = out.size();
        Append32(out, 0x04034b50);
        Append16(out, zip64Sizes_ ? 45 : 20);
        Append16(out, 0);  // flags
        Append16(out, entry.method);
        Append16(out, kDosTime);
        Append16(out, kDosDate);
        Append32(out, entry.crc);
        AppendSizes(out, static_cast<uint32_t>(entry.encoded.size()), entry.size, zip64Sizes_);
        Append16(out, static_cast<uint16_t>(entry.name.size()));
        Append16(out, zip64Sizes_ ? kZip64FieldBytes : 0);  // extra field
        out += entry.name;
        if (zip64Sizes_)
            AppendZip64Field(out, entry.size, entry.encoded.size());
        out += entry.encoded;
    }
    const size_t directory = out.size();
    for (Entry& entry : entries_) {
        entry.centralRecord = out.size();
        Append32(out, 0x02014b50);
        Append16(out, zip64Sizes_ ? 45 : 20);  // made by
        Append16(out, zip64Sizes_ ? 45 : 20);  // needed
        Append16(out, 0);                      // flags
        Append16(out, entry.method);
        Append16(out, kDosTime);
        Append16(out, kDosDate);
        Append32(out, entry.crc);
        AppendSizes(out, static_cast<uint32_t>(entry.encoded.size()), entry.size, zip64Sizes_);
        Append16(out, static_cast<uint16_t>(entry.name.size()));
        Append16(out, zip64Sizes_ ? kZip64FieldBytes : 0);  // extra field
        Append16(out, 0);                                   // comment
        Append16(out, 0);                                   // disk
        Append16(out, 0);                                   // internal attributes
        Append32(out, entry.attributes);
        Append32(out, static_cast<uint32_t>(entry.localHeader));
        out += entry.name;
        if (zip64Sizes_)
            AppendZip64Field(out, entry.size, entry.encoded.size());
    }
    endRecord_ = out.size();
    Append32(out, 0x06054b50);
    Append16(out, 0);
    Append16(out, 0);
    Append16(out, static_cast<uint16_t>(entries_.size()));
    Append16(out, static_cast<uint16_t>(entries_.size()));
    Append32(out, static_cast<uint32_t>(endRecord_ - directory));
    Append32(out, static_cast<uint32_t>(directory));
    Append16(out, 0);  // comment
    return out;
}

size_t ZipWriter::DataAt(size_t entry) const {
    return LocalHeaderAt(entry) + 30 + entries_.at(entry).name.size() +
           (zip64Sizes_ ? kZip64FieldBytes : 0);
}

size_t ZipWriter::CentralZip64SizesAt(size_t entry) const {
    return CentralRecordAt(entry) + 46 + entries_.at(entry).name.size() + 4;
}

void Put16(std::string& bytes, size_t at, uint16_t value) {
    bytes.at(at) = static_cast<char>(value & 0xff);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    Put16(bytes, at, static_cast<uint16_t>(value & 0xffff));
    Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

uint32_t Crc32(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(random() & 0xff);
    return out;
}

}  // namespace testsupport
