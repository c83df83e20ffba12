#include "unzip/archive_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kReadBuffer = 128 * 1024;

}  // namespace

// An open archive: the file, where minizip believes it stands, and the blocks read.
struct ArchiveFile {
    // Bytes of the archive from `start` on. There are two: minizip goes back and forth between the
    // central directory and the entries' data, and each keeps its own.
    struct Block {
        ZPOS64_T start = 0;
        size_t size = 0;
        unsigned long lastUse = 0;
        std::unique_ptr<unsigned char[]> bytes{new unsigned char[kReadBuffer]};

        bool Holds(ZPOS64_T at) const { return at >= start && at - start < size; }
    };

    ArchiveFile** opened = nullptr;  // cleared when the archive is closed
    FILE* file = nullptr;
    ZPOS64_T position = 0;
    ZPOS64_T filePosition = 0;  // where the runtime's file stands
    unsigned long uses = 0;
    bool failed = false;
    Block blocks[2];
};

namespace {

ArchiveFile* Of(voidpf stream) {
    return static_cast<ArchiveFile*>(stream);
}

voidpf OpenArchiveFile(voidpf opaque, const void* path, int mode) {
    if (path == nullptr || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        return nullptr;
    FILE* file = nullptr;
    if (fopen_s(&file, static_cast<const char*>(path), "rb") != 0)
        return nullptr;
    // The blocks are the buffer: the runtime's own would only copy the bytes once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    auto archive = std::make_unique<ArchiveFile>();
    archive->file = file;
    archive->opened = static_cast<ArchiveFile**>(opaque);
    if (archive->opened != nullptr)
        *archive->opened = archive.get();
    return archive.release();
}

// Reads from the runtime's file at `at` into `out`; the count read.
size_t ReadAt(ArchiveFile& archive, ZPOS64_T at, void* out, size_t size) {
    if (archive.filePosition != at) {
        if (_fseeki64(archive.file, static_cast<long long>(at), SEEK_SET) != 0) {
            archive.failed = true;
            return 0;
        }
        archive.filePosition = at;
    }
    size_t n = std::fread(out, 1, size, archive.file);
    archive.filePosition += n;
    if (n < size && std::ferror(archive.file))
        archive.failed = true;
    return n;
}

// The block holding `at`, read when neither does; null at the end of the file.
ArchiveFile::Block* BlockAt(ArchiveFile& archive, ZPOS64_T at) {
    ArchiveFile::Block* block = nullptr;
    for (ArchiveFile::Block& candidate : archive.blocks)
        if (candidate.Holds(at))
            block = &candidate;
    if (block == nullptr) {
        block = archive.blocks[0].lastUse <= archive.blocks[1].lastUse ? &archive.blocks[0]
                                                                       : &archive.blocks[1];
        block->start = at;
        block->size = ReadAt(archive, at, block->bytes.get(), kReadBuffer);
        if (block->size == 0)
            return nullptr;
    }
    block->lastUse = ++archive.uses;
    return block;
}

size_t ReadThroughBlocks(ArchiveFile& archive, ZPOS64_T at, void* out, size_t size) {
    auto* into = static_cast<unsigned char*>(out);
    size_t done = 0;
    while (done < size) {
        const ArchiveFile::Block* block = BlockAt(archive, at + done);
        if (block == nullptr)
            break;
        const size_t offset = static_cast<size_t>(at + done - block->start);
        const size_t n = std::min<size_t>(size - done, block->size - offset);
        std::memcpy(into + done, block->bytes.get() + offset, n);
        done += n;
    }
    return done;
}

uLong ReadArchiveFile(voidpf, voidpf stream, void* out, uLong size) {
    ArchiveFile& archive = *Of(stream);
    const size_t done = ReadThroughBlocks(archive, archive.position, out, size);
    archive.position += done;
    return static_cast<uLong>(done);
}

uLong WriteArchiveFile(voidpf, voidpf, const void*, uLong) {
    return 0;  // archives are only read
}

ZPOS64_T TellArchiveFile(voidpf, voidpf stream) {
    return Of(stream)->position;
}

long SeekArchiveFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    ArchiveFile& archive = *Of(stream);
    if (origin == ZLIB_FILEFUNC_SEEK_SET) {
        archive.position = offset;
        return 0;
    }
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
        archive.position += offset;
        return 0;
    }
    // From the end: the runtime knows the size.
    if (_fseeki64(archive.file, static_cast<long long>(offset), SEEK_END) != 0)
        return -1;
    long long at = _ftelli64(archive.file);
    if (at < 0)
        return -1;
    archive.filePosition = static_cast<ZPOS64_T>(at);
    archive.position = archive.filePosition;
    return 0;
}

int CloseArchiveFile(voidpf, voidpf stream) {
    std::unique_ptr<ArchiveFile> archive(Of(stream));
    if (archive->opened != nullptr)
        *archive->opened = nullptr;
    return std::fclose(archive->file);
}

int ArchiveFileError(voidpf, voidpf stream) {
    return Of(stream)->failed ? 1 : 0;
}

}  // namespace

zlib_filefunc64_def BufferedArchiveFileFunctions(ArchiveFile** opened) {
    zlib_filefunc64_def functions{};
    functions.opaque = opened;
    functions.zopen64_file = OpenArchiveFile;
    functions.zread_file = ReadArchiveFile;
    functions.zwrite_file = WriteArchiveFile;
    functions.ztell64_file = TellArchiveFile;
    functions.zseek64_file = SeekArchiveFile;
    functions.zclose_file = CloseArchiveFile;
    functions.zerror_file = ArchiveFileError;
    return functions;
}

size_t ReadArchiveBytes(ArchiveFile& archive, ZPOS64_T at, void* out, size_t size) {
    return ReadThroughBlocks(archive, at, out, size);
}
