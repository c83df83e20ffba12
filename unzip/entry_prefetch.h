// Reading ahead: a thread of its own walks the entries of an open archive in the order of the
// central directory, reads each one's record and inflates its data, and hands both to the
// extracting thread through a bounded queue. So the next entry is inflated while this one is
// written, on two cores, and nothing is read further ahead than the queue holds. The thread only
// reads the archive; what is created, written or asked stays with the extracting thread, in the
// order of the entries.
#pragma once

#include <unzip.h>

#include "unzip/archive_file.h"
#include "unzip/whole_entry_inflater.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One entry's record as minizip reads it from the central directory.
struct PrefetchedRecord {
    int result = UNZ_OK;  // of reading the record; nothing else is valid unless UNZ_OK
    unz_file_info64 raw{};
    char name[261] = {};
    char comment[259] = {};
};

// A piece of an entry's data and the memory that holds it (`chunk` bytes).
struct DataPiece {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

class EntryPrefetcher {
  public:
    // Starts on the entry the archive stands on. The archive must not be used by anyone else
    // until the prefetcher is gone. `chunk` is the most bytes one piece of data holds.
    EntryPrefetcher(void* archive, ArchiveFile* file, std::size_t chunk);
    // Stops the thread where it is and waits for it.
    ~EntryPrefetcher();
    EntryPrefetcher(const EntryPrefetcher&) = delete;
    EntryPrefetcher& operator=(const EntryPrefetcher&) = delete;

    // The next entry's record; false when the walk has ended, with minizip's result of moving
    // past the last entry (UNZ_END_OF_LIST_OF_FILE when the directory ended well) in `walkEnd`.
    bool NextRecord(PrefetchedRecord* record, int* walkEnd);
    // For the entry whose record came last, if it is a file whose data is read: whether the data
    // could be opened (method, local header), as ZipEntryReader::Open.
    bool Opened();
    // The entry's next piece of data, swapped into `out` (whose old memory is used again): its
    // size, 0 at the end once the declared size and CRC-32 were met, -1 when the data is
    // damaged, as ZipEntryReader::Read.
    int Read(DataPiece* out);
    // Drops the data of the entry whose record came last, which is not written: its flags and
    // method tell whether any was read.
    void SkipData(std::uint32_t flags, std::uint32_t method);

  private:
    struct Piece {
        enum Kind { Record, Opened, Data, End, WalkEnd };
        explicit Piece(Kind kind, int value = 0) : kind(kind), value(value) {}
        Kind kind;
        int value;  // Opened: 1 or 0; End: 0 or -1; WalkEnd: minizip's result
        PrefetchedRecord record;
        DataPiece data;
    };

    void Run();
    bool Push(Piece piece);
    Piece Pull();
    std::unique_ptr<char[]> SpareMemory();

    void* archive;
    ArchiveFile* file;
    std::size_t chunk;
    std::mutex mutex;
    std::condition_variable pieceAdded;  // waited for by the extracting side
    std::condition_variable roomMade;    // waited for by the reading thread
    bool pullerWaits = false;
    bool pusherWaits = false;
    std::deque<Piece> queue;
    std::vector<std::unique_ptr<char[]>> spare;  // memory given back, for the next pieces
    std::size_t queuedBytes = 0;                 // memory of the pieces in the queue
    bool stopping = false;
    bool inData = false;          // the extracting side stands inside an entry's data
    WholeEntryInflater inflater;  // the thread's, for every small entry
    std::thread thread;
};
