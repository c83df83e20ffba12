// Unpacking a zip package into a folder: missing folders are created, existing files replaced,
// every file gets the time stored in the archive, and a file that cannot be replaced brings up a
// prompt to stop, retry or skip it. Paths are narrow (code page 936); entry names are used as
// stored, with "/" read as "\".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

// Asked before every entry and after every chunk of an entry's data: true stops the extraction,
// which then fails. What was written before stays.
using ExtractionCancelled = std::function<bool()>;

// What becomes of a file that cannot be replaced (in use): the user is asked to stop, retry or
// skip it, or the extraction fails at once without asking, for an extraction that nobody
// watches yet and that is done again, asking, where it failed.
enum class UnreplaceableFile { kAsk, kFail };

struct ArchiveFile;
struct ZipEntryDeclaration;
struct PrefetchedRecord;
class EntryPrefetcher;

// The information of the entry the archive stands on, filled afresh for each entry.
struct ZipEntryInfo {
    char name[261];     // as stored, every "/" replaced by "\"
    char comment[259];  // not used further
    std::uint32_t versionMadeBy;
    std::uint32_t versionNeeded;
    std::uint32_t flags;
    std::uint32_t compressionMethod;
    std::uint32_t dosDateTime;  // MS-DOS date in the high 16 bits, time in the low 16 (local)
    std::uint32_t crc32;
    std::uint32_t compressedSize;
    std::uint32_t uncompressedSize;
    std::uint32_t internalAttributes;
    std::uint32_t externalAttributes;
    bool isFolder;  // FILE_ATTRIBUTE_DIRECTORY in externalAttributes
};

// Reads one zip archive and writes its entries into a folder.
class TUnzip {
  public:
    TUnzip();
    virtual ~TUnzip();
    TUnzip(const TUnzip&) = delete;
    TUnzip& operator=(const TUnzip&) = delete;

    // Closes what is open, then opens the archive at `path`. False for a null or empty path, one
    // that cannot be made absolute, a missing file or one that is not a zip archive.
    bool Open(const char* path);
    // Closes the open entry, if any, and the archive.
    void Close();
    // Extracts every entry, in the order of the central directory, into `folder`. False when no
    // archive is open, the folder cannot be created, the archive has no entries, a record of the
    // central directory cannot be read, two entries share data, or an entry fails.
    bool ExtractAll(const char* folder);
    // Extracts the entry the archive stands on; a null folder means the archive's own folder.
    // An entry whose name leads outside the folder or whose path does not fit in MAX_PATH fails,
    // and so does a file entry whose method is neither stored nor deflated, that is encrypted, or
    // whose data does not give its declared size and CRC-32; those fail before the file is
    // touched, except for the data check. A folder entry is made whatever its method.
    bool ExtractCurrentEntry(const char* folder);

    // Checked by ExtractAll between entries and by ExtractCurrentEntry within one; none by default.
    void SetCancelCheck(ExtractionCancelled check) { cancelled = std::move(check); }
    // Whether a file that cannot be replaced is asked about (the default) or fails the entry.
    void SetUnreplaceableFile(UnreplaceableFile choice) { unreplaceable = choice; }

    // The drive and folder of the open archive, with its trailing backslash; empty when closed.
    const char* OutputFolder() const { return outputFolder; }

  private:
    struct ArchiveCloser {
        void operator()(void* archive) const;
    };
    bool ExtractEntry(const char* folder, const PrefetchedRecord& record,
                      EntryPrefetcher* prefetched);
    bool WriteEntry(const char* target, const ZipEntryInfo& info,
                    const ZipEntryDeclaration& declared, EntryPrefetcher* prefetched);
    bool DirectoryIsSound(std::uint64_t entries);
    bool MakeFolders(const char* path);
    bool Cancelled() const { return cancelled && cancelled(); }

    std::unique_ptr<void, ArchiveCloser> archive;
    ArchiveFile* archiveFile = nullptr;  // the file `archive` reads, while it is open
    char outputFolder[261];
    // Kept for the open archive: the folders made or found so far, so that each is created
    // once rather than once per entry, and the buffer the entries' data passes through.
    std::unordered_set<std::string> madeFolders;
    std::unique_ptr<char[]> data;
    ExtractionCancelled cancelled;
    UnreplaceableFile unreplaceable = UnreplaceableFile::kAsk;
};

// Extracts the archive at `archivePath` into `folder`; true only when every entry was extracted.
// `cancelled`, when given, can stop it between entries and within an entry.
bool ExtractZipArchive(const char* archivePath, const char* folder,
                       const ExtractionCancelled& cancelled = {},
                       UnreplaceableFile unreplaceable = UnreplaceableFile::kAsk);

// Creates every missing folder of `path` ("/" or "\" separated); the first component, as a rule
// the drive, is never created. False when a folder cannot be created for a reason other than
// that it exists already.
bool CreateFolderPath(const char* path);
