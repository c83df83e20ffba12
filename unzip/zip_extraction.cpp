#include "unzip/zip_extraction.h"

#include "unzip/archive_file.h"
#include "unzip/entry_data.h"
#include "unzip/entry_prefetch.h"
#include "unzip/entry_record.h"

#include <windows.h>

#include <unzip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// The prompt for a file that cannot be replaced:
// "无法覆盖文件"%s",该文件可能正被使用!\n是否终止升级?" (cannot overwrite the file; it may be in
// use; stop the update?), and its caption "警告" (warning), in code page 936.
constexpr char kOverwritePrompt[] =
    "\xce\xde\xb7\xa8\xb8\xb2\xb8\xc7\xce\xc4\xbc\xfe\"%s\","
    "\xb8\xc3\xce\xc4\xbc\xfe\xbf\xc9\xc4\xdc"
    "\xd5\xfd\xb1\xbb\xca\xb9\xd3\xc3!\n\xca\xc7\xb7\xf1\xd6\xd5\xd6\xb9\xc9\xfd\xbc\xb6?";
constexpr char kWarningCaption[] = "\xbe\xaf\xb8\xe6";

// Entries stream through a buffer of this size: large enough that writing costs few calls, small
// enough that an entry of any size extracts in bounded memory.
constexpr size_t kDataChunk = 256 * 1024;
constexpr std::uint32_t kEncrypted = 1;  // bit 0 of the general-purpose flags

bool IsDotsAndBlanks(const std::string& component) {
    return component.find_first_not_of(". ") == std::string::npos;
}

// An entry name may only name something inside the destination: no root, no drive, and no
// component that Windows reads as the parent folder ("..", and ".. " or "..." as it trims them).
bool StaysInsideFolder(const char* name) {
    if (name[0] == '\\' || (name[0] != '\0' && name[1] == ':'))
        return false;
    std::string component;
    for (const char* p = name;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (component.size() >= 2 && IsDotsAndBlanks(component))
                return false;
            component.clear();
            if (*p == '\0')
                return true;
        } else {
            component += *p;
        }
    }
}

// Joins the folder and an entry name into `out` (MAX_PATH bytes), with a backslash between
// them unless the folder ends in one; false when the result does not fit.
bool JoinPath(char (&out)[MAX_PATH], const char* folder, const char* name) {
    size_t length = std::strlen(folder);
    const char* separator =
        (length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/')) ? "" : "\\";
    int written = std::snprintf(out, sizeof out, "%s%s%s", folder, separator, name);
    return written >= 0 && static_cast<size_t>(written) < sizeof out;
}

// Gives the file, still open for writing, the archive's time as creation and last-write time;
// its last-access time stays. A failure leaves the times as they were.
void SetFileTimeFromArchive(HANDLE file, std::uint32_t dosDateTime) {
    FILETIME local, utc;
    if (DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                              static_cast<WORD>(dosDateTime & 0xFFFF), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file, &utc, nullptr, &utc);
}

}  // namespace

void TUnzip::ArchiveCloser::operator()(void* openArchive) const {
    unzClose(openArchive);  // closes an open entry first
}

TUnzip::TUnzip() : outputFolder{} {
    Open(nullptr);
}

TUnzip::~TUnzip() {
    Close();
}

void TUnzip::Close() {
    if (archive)
        unzCloseCurrentFile(archive.get());
    archive.reset();
    std::memset(outputFolder, 0, sizeof outputFolder);
    madeFolders.clear();
}

bool TUnzip::Open(const char* path) {
    Close();
    if (path == nullptr || *path == '\0')
        return false;
    char fullPath[MAX_PATH] = {};
    char* fileName = nullptr;
    DWORD length = GetFullPathNameA(path, sizeof fullPath, fullPath, &fileName);
    if (length == 0 || length >= sizeof fullPath)
        return false;
    zlib_filefunc64_def functions = BufferedArchiveFileFunctions(&archiveFile);
    archive.reset(unzOpen2_64(fullPath, &functions));
    if (!archive)
        return false;
    // The drive and folder of the archive, with the trailing backslash.
    char* lastSeparator = std::strrchr(fullPath, '\\');
    size_t folderLength = lastSeparator ? static_cast<size_t>(lastSeparator - fullPath) + 1 : 0;
    std::memcpy(outputFolder, fullPath, folderLength);
    outputFolder[folderLength] = '\0';
    return true;
}

bool TUnzip::ExtractAll(const char* folder) {
    if (!archive || folder == nullptr)
        return false;
    if (!MakeFolders(folder))
        return false;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(archive.get(), &global) != UNZ_OK || global.number_entry == 0)
        return false;
    if (!DirectoryIsSound(global.number_entry))
        return false;
    if (unzGoToFirstFile(archive.get()) != UNZ_OK)
        return false;
    // The next entries are read and inflated on a second thread while this one writes.
    EntryPrefetcher prefetcher(archive.get(), archiveFile, kDataChunk);
    PrefetchedRecord record;
    int walkEnd = UNZ_OK;
    while (prefetcher.NextRecord(&record, &walkEnd))
        if (Cancelled() || !ExtractEntry(folder, record, &prefetcher))
            return false;
    // Only the end of the list counts as done: a damaged record would leave a partial client.
    return walkEnd == UNZ_END_OF_LIST_OF_FILE;
}

// Walks the whole central directory before anything is written: every record that the
// directory counts must be readable, and no two entries may share bytes of the archive (local
// header, name, extra field and data), a zip-bomb form that Info-ZIP's unzip refuses too.
bool TUnzip::DirectoryIsSound(std::uint64_t entries) {
    struct Span {
        ZPOS64_T begin, end;
    };
    std::vector<Span> spans;
    std::uint64_t walked = 0;
    int result = unzGoToFirstFile(archive.get());
    for (; result == UNZ_OK; result = unzGoToNextFile(archive.get())) {
        ++walked;
        unz_file_info64 info{};
        if (ReadEntryRecord(archive.get(), &info, nullptr, 0, nullptr, 0) != UNZ_OK)
            return false;
        // An entry whose local header cannot be read holds no span; as a file it fails later.
        if (unzOpenCurrentFile2(archive.get(), nullptr, nullptr, 1) != UNZ_OK)
            continue;
        ZPOS64_T data = unzGetCurrentFileZStreamPos64(archive.get());
        int localExtra = unzGetLocalExtrafield(archive.get(), nullptr, 0);
        unzCloseCurrentFile(archive.get());
        ZPOS64_T header = 30 + info.size_filename + static_cast<ZPOS64_T>(std::max(localExtra, 0));
        if (data < header || info.compressed_size > ~ZPOS64_T{0} - data)
            return false;
        spans.push_back({data - header, data + info.compressed_size});
    }
    if (result != UNZ_END_OF_LIST_OF_FILE || walked != entries)
        return false;
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    ZPOS64_T covered = 0;
    for (const Span& span : spans) {
        if (span.begin < covered)
            return false;
        covered = span.end;
    }
    return true;
}

bool TUnzip::ExtractCurrentEntry(const char* folder) {
    if (!archive)
        return false;
    PrefetchedRecord record;
    record.result =
        ReadEntryRecord(archive.get(), &record.raw, record.name, 260, record.comment, 255);
    return ExtractEntry(folder, record, nullptr);
}

// The entry of `record`, its data from `prefetched` when it is given, else read here.
bool TUnzip::ExtractEntry(const char* folder, const PrefetchedRecord& record,
                          EntryPrefetcher* prefetched) {
    if (folder == nullptr)
        folder = outputFolder;
    if (!MakeFolders(folder))
        return false;

    if (record.result != UNZ_OK)
        return false;
    ZipEntryInfo info{};
    const unz_file_info64& raw = record.raw;
    std::memcpy(info.name, record.name, sizeof info.name);
    std::memcpy(info.comment, record.comment, sizeof info.comment);
    // A name of 260 bytes or more was cut short: it cannot name the file it stands for.
    if (raw.size_filename >= 260)
        return false;
    info.versionMadeBy = static_cast<std::uint32_t>(raw.version);
    info.versionNeeded = static_cast<std::uint32_t>(raw.version_needed);
    info.flags = static_cast<std::uint32_t>(raw.flag);
    info.compressionMethod = static_cast<std::uint32_t>(raw.compression_method);
    info.dosDateTime = static_cast<std::uint32_t>(raw.dosDate);
    info.crc32 = static_cast<std::uint32_t>(raw.crc);
    info.compressedSize = static_cast<std::uint32_t>(raw.compressed_size);
    info.uncompressedSize = static_cast<std::uint32_t>(raw.uncompressed_size);
    info.internalAttributes = static_cast<std::uint32_t>(raw.internal_fa);
    info.externalAttributes = static_cast<std::uint32_t>(raw.external_fa);
    for (char* p = info.name; *p; ++p)
        if (*p == '/')
            *p = '\\';
    info.isFolder = (info.externalAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!StaysInsideFolder(info.name))
        return false;

    char target[MAX_PATH];
    if (!JoinPath(target, folder, info.name))
        return false;
    // A folder has no data, so its method and encryption flag do not matter.
    if (info.isFolder)
        return MakeFolders(target);
    // Data of any other method than stored or deflated cannot be read, and encrypted data (no
    // password is ever given) would only come out as garbage: the entry fails before anything
    // is touched.
    if (!ZipEntryReader::CanRead(info.compressionMethod) || (info.flags & kEncrypted) != 0)
        return false;

    char parent[MAX_PATH];
    std::memcpy(parent, target, sizeof parent);
    char* lastSeparator = std::strrchr(parent, '\\');
    if (lastSeparator == nullptr)
        return false;
    *lastSeparator = '\0';
    if (!MakeFolders(parent))
        return false;
    return WriteEntry(
        target, info,
        {info.compressionMethod, info.crc32, raw.compressed_size, raw.uncompressed_size},
        prefetched);
}

// Creates the target (asking whether to stop, retry or skip while it cannot be replaced) and
// streams the entry's data into it.
bool TUnzip::WriteEntry(const char* target, const ZipEntryInfo& info,
                        const ZipEntryDeclaration& declared, EntryPrefetcher* prefetched) {
    HANDLE file;
    while ((file = CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr)) == INVALID_HANDLE_VALUE) {
        if (unreplaceable == UnreplaceableFile::kFail)
            return false;
        char prompt[1024];
        std::snprintf(prompt, sizeof prompt, kOverwritePrompt, info.name);
        int answer = MessageBoxA(nullptr, prompt, kWarningCaption, MB_ABORTRETRYIGNORE);
        if (answer == IDABORT || Cancelled())
            return false;
        if (answer == IDIGNORE) {
            if (prefetched != nullptr)
                prefetched->SkipData(info.flags, declared.compressionMethod);
            return true;
        }
    }

    std::optional<ZipEntryReader> reader;
    if (prefetched == nullptr)
        reader.emplace(archive.get(), archiveFile);
    if (!(prefetched != nullptr ? prefetched->Opened() : reader->Open(declared))) {
        CloseHandle(file);
        return false;
    }
    if (prefetched == nullptr && !data)
        data.reset(new char[kDataChunk]);
    DataPiece piece;
    bool failed = false;
    for (;;) {
        const int n =
            prefetched != nullptr ? prefetched->Read(&piece) : reader->Read(data.get(), kDataChunk);
        const char* bytes = prefetched != nullptr ? piece.bytes.get() : data.get();
        if (n == 0)
            break;
        if (n < 0 || Cancelled()) {
            failed = true;
            break;
        }
        DWORD written = 0;
        if (!WriteFile(file, bytes, static_cast<DWORD>(n), &written, nullptr) ||
            written != static_cast<DWORD>(n)) {
            failed = true;
            break;
        }
    }
    // The reader has held the data to its declared size and CRC-32.
    if (!failed)
        SetFileTimeFromArchive(file, info.dosDateTime);
    CloseHandle(file);
    return !failed;
}

bool ExtractZipArchive(const char* archivePath, const char* folder,
                       const ExtractionCancelled& cancelled, UnreplaceableFile unreplaceable) {
    TUnzip unzip;
    unzip.SetCancelCheck(cancelled);
    unzip.SetUnreplaceableFile(unreplaceable);
    return unzip.Open(archivePath) && unzip.ExtractAll(folder);
}

namespace {

// Creates the missing folders of `path` as CreateFolderPath does. Folders named in `made` are
// known to exist and are not created again; the ones created or found are added to it.
bool CreateFolders(const char* path, std::unordered_set<std::string>* made) {
    if (path == nullptr)
        return false;
    std::vector<std::string> components;
    std::string current;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (!current.empty())
                components.push_back(current);
            current.clear();
            if (*p == '\0')
                break;
        } else {
            current += *p;
        }
    }
    if (components.size() < 2)
        return true;
    // A path rooted on the current drive keeps its root, so that its folders are made there
    // and not below the current folder.
    bool rooted = *path == '\\' || *path == '/';
    std::vector<std::string> folders;
    std::string folder = (rooted ? "\\" : "") + components[0];
    for (size_t i = 1; i < components.size(); ++i) {
        folder += '\\';
        folder += components[i];
        folders.push_back(folder);
    }
    // The deepest folder known to exist: everything above it exists too.
    size_t first = made != nullptr ? folders.size() : 0;
    while (first > 0 && made->count(folders[first - 1]) == 0)
        --first;
    for (size_t i = first; i < folders.size(); ++i) {
        if (!CreateDirectoryA(folders[i].c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (made != nullptr)
            made->insert(folders[i]);
    }
    return true;
}

}  // namespace

bool TUnzip::MakeFolders(const char* path) {
    return CreateFolders(path, &madeFolders);
}

bool CreateFolderPath(const char* path) {
    return CreateFolders(path, nullptr);
}
