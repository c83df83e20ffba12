#include "unzip/entry_prefetch.h"

#include <windows.h>

#include <utility>

#include "unzip/entry_data.h"
#include "unzip/entry_record.h"

namespace {

// Read ahead of the writer at most this much data (and a record or a few without data).
constexpr std::size_t kQueueBytes = 4 * 1024 * 1024;
constexpr std::size_t kQueuePieces = 256;
constexpr std::uint32_t kEncrypted = 1;  // bit 0 of the general-purpose flags

// Whether the data of a file entry is read: its method can be read and it is not encrypted.
bool DataIsRead(std::uint64_t flags, std::uint64_t method) {
    return ZipEntryReader::CanRead(static_cast<std::uint32_t>(method)) && (flags & kEncrypted) == 0;
}

// Whether the extraction will want the entry's data: a readable file entry. Any other entry
// either has no data or fails before its data is read.
bool DataIsWanted(const PrefetchedRecord& record) {
    return record.result == UNZ_OK && (record.raw.external_fa & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           DataIsRead(record.raw.flag, record.raw.compression_method);
}

}  // namespace

EntryPrefetcher::EntryPrefetcher(void* archive, ArchiveFile* file, std::size_t chunk)
    : archive(archive), file(file), chunk(chunk), thread([this] { Run(); }) {}

EntryPrefetcher::~EntryPrefetcher() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    roomMade.notify_all();
    thread.join();
}

// Each side wakes the other only when it waits, and the reading side is woken for room only
// once half the queue is free: a wake-up per piece would cost more than the piece.
bool EntryPrefetcher::Push(Piece piece) {
    std::unique_lock lock(mutex);
    pusherWaits = true;
    roomMade.wait(lock, [this] {
        return stopping || (queuedBytes < kQueueBytes && queue.size() < kQueuePieces);
    });
    pusherWaits = false;
    if (stopping)
        return false;
    queuedBytes += piece.data.bytes ? chunk : 0;
    queue.push_back(std::move(piece));
    if (pullerWaits)
        pieceAdded.notify_one();
    return true;
}

EntryPrefetcher::Piece EntryPrefetcher::Pull() {
    std::unique_lock lock(mutex);
    pullerWaits = true;
    pieceAdded.wait(lock, [this] { return !queue.empty(); });
    pullerWaits = false;
    Piece piece = std::move(queue.front());
    queue.pop_front();
    queuedBytes -= piece.data.bytes ? chunk : 0;
    if (pusherWaits && queuedBytes <= kQueueBytes / 2 && queue.size() <= kQueuePieces / 2)
        roomMade.notify_one();
    return piece;
}

std::unique_ptr<char[]> EntryPrefetcher::SpareMemory() {
    std::lock_guard lock(mutex);
    if (spare.empty())
        return std::unique_ptr<char[]>(new char[chunk]);
    std::unique_ptr<char[]> memory = std::move(spare.back());
    spare.pop_back();
    return memory;
}

void EntryPrefetcher::Run() {
    for (;;) {
        Piece record(Piece::Record);
        PrefetchedRecord& r = record.record;
        r.result = ReadEntryRecord(archive, &r.raw, r.name, 260, r.comment, 255);
        const bool wanted = DataIsWanted(r);
        const ZipEntryDeclaration declared{static_cast<std::uint32_t>(r.raw.compression_method),
                                           static_cast<std::uint32_t>(r.raw.crc),
                                           r.raw.compressed_size, r.raw.uncompressed_size};
        if (!Push(std::move(record)))
            return;
        if (wanted) {
            ZipEntryReader reader(archive, file, &inflater);
            const bool opened = reader.Open(declared);
            if (!Push(Piece(Piece::Opened, opened ? 1 : 0)))
                return;
            while (opened) {
                Piece data(Piece::Data);
                data.data.bytes = SpareMemory();
                int n = reader.Read(data.data.bytes.get(), chunk);
                if (n <= 0) {
                    if (!Push(Piece(Piece::End, n)))
                        return;
                    break;
                }
                data.data.size = static_cast<std::size_t>(n);
                if (!Push(std::move(data)))
                    return;
            }
        }
        const int next = unzGoToNextFile(archive);
        if (next != UNZ_OK) {
            Push(Piece(Piece::WalkEnd, next));
            return;
        }
    }
}

bool EntryPrefetcher::NextRecord(PrefetchedRecord* record, int* walkEnd) {
    Piece piece = Pull();
    if (piece.kind == Piece::WalkEnd) {
        *walkEnd = piece.value;
        // Later calls see the end again.
        std::lock_guard lock(mutex);
        queue.push_front(std::move(piece));
        return false;
    }
    *record = piece.record;
    return true;
}

bool EntryPrefetcher::Opened() {
    Piece piece = Pull();
    inData = piece.value != 0;
    return inData;
}

int EntryPrefetcher::Read(DataPiece* out) {
    Piece piece = Pull();
    if (piece.kind == Piece::End) {
        inData = false;
        return piece.value;
    }
    std::swap(*out, piece.data);
    if (piece.data.bytes) {
        std::lock_guard lock(mutex);
        spare.push_back(std::move(piece.data.bytes));
    }
    return static_cast<int>(out->size);
}

void EntryPrefetcher::SkipData(std::uint32_t flags, std::uint32_t method) {
    if (DataIsRead(flags, method))
        Opened();
    while (inData) {
        Piece piece = Pull();
        if (piece.kind == Piece::End)
            inData = false;
    }
}
