#include "unzip/entry_record.h"

#include <cstdint>
#include <vector>

namespace {

constexpr ZPOS64_T kSizeInZip64Field = 0xFFFFFFFF;
constexpr unsigned kZip64ExtraId = 0x0001;

std::uint64_t ReadLittleEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// Replaces the marked sizes of `info` by those of the zip64 field in `extra`; its 8-byte values
// come in a fixed order (uncompressed, compressed), each only when its 32-bit field is marked.
void TakeZip64Sizes(const std::vector<unsigned char>& extra, unz_file_info64* info) {
    std::size_t at = 0;
    while (at + 4 <= extra.size()) {
        const unsigned id = static_cast<unsigned>(ReadLittleEndian(&extra[at], 2));
        const std::size_t size = static_cast<std::size_t>(ReadLittleEndian(&extra[at + 2], 2));
        const std::size_t end = at + 4 + size;
        if (end > extra.size())
            return;
        if (id == kZip64ExtraId) {
            std::size_t field = at + 4;
            for (ZPOS64_T* value : {&info->uncompressed_size, &info->compressed_size}) {
                if (*value != kSizeInZip64Field)
                    continue;
                if (field + 8 > end)
                    return;
                *value = ReadLittleEndian(&extra[field], 8);
                field += 8;
            }
            return;
        }
        at = end;
    }
}

}  // namespace

int ReadEntryRecord(unzFile archive, unz_file_info64* info, char* name, uLong nameSize,
                    char* comment, uLong commentSize) {
    int result =
        unzGetCurrentFileInfo64(archive, info, name, nameSize, nullptr, 0, comment, commentSize);
    if (result != UNZ_OK || info->size_file_extra == 0 ||
        (info->compressed_size != kSizeInZip64Field &&
         info->uncompressed_size != kSizeInZip64Field))
        return result;
    std::vector<unsigned char> extra(info->size_file_extra);
    unz_file_info64 again{};
    result = unzGetCurrentFileInfo64(archive, &again, nullptr, 0, extra.data(),
                                     static_cast<uLong>(extra.size()), nullptr, 0);
    if (result == UNZ_OK)
        TakeZip64Sizes(extra, info);
    return result;
}
