#include <windows.h>

#include "unzip/whole_entry_inflater.h"
#include "unzip/zip_extraction.h"
#include "winroot.h"
#include "zip_writer.h"

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Zip extraction on both targets: the layer and Windows (under Wine). What needs the layer's
// hooks (answers to the overwrite prompt, the time zone) is in zip_extraction_prompt_test.cpp.
namespace {

namespace fs = std::filesystem;
using testsupport::Put16;
using testsupport::Put32;
using testsupport::ZipWriter;

class ZipExtractionTest : public testsupport::WinRootTest {
  protected:
    fs::path C(const std::string& relative) const { return winroot.driveC() / relative; }

    // Writes the archive as C:\pkg\<name> and returns that path.
    std::string Package(const std::string& name, const std::string& bytes) {
        testsupport::WriteFileBytes(C("pkg/" + name), bytes);
        return "C:\\pkg\\" + name;
    }
};

TEST_F(ZipExtractionTest, ExtractsTreesWithAndWithoutFolderEntries) {
    const fs::path tree = winroot.root() / "src";
    testsupport::WriteFileBytes(tree / "a/b/deep.txt", "deep text\n");
    testsupport::WriteFileBytes(tree / "top.bin", std::string("\0\1\2\r\n\3\x1a", 7));
    fs::create_directories(tree / "empty/inner");
    std::string withFolders =
        Package("folders.zip", ZipWriter().AddTree(tree, true, ZipWriter::kDeflated).Bytes());
    std::string storedOnly =
        Package("stored.zip", ZipWriter().AddTree(tree, false, ZipWriter::kStored).Bytes());
    std::string mixed = Package(
        "mixed.zip", ZipWriter()
                         .Add("x/y/z/stored.txt", "stored")
                         .Add("x/deflated.txt", std::string(5000, 'd'), ZipWriter::kDeflated)
                         .Add("x/dir/", "", ZipWriter::kStored, ZipWriter::kFolderAttributes)
                         .Bytes());
    GetFileAttributesA("C:\\");  // the root's first use makes its standard folders
    std::set<std::string> before = winroot.Everything();

    ASSERT_TRUE(ExtractZipArchive(withFolders.c_str(), "C:\\out\\one"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/one/a/b/deep.txt")), "deep text\n");
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/one/top.bin")), std::string("\0\1\2\r\n\3\x1a", 7))
        << "bytes that a text-mode file would translate";
    EXPECT_TRUE(fs::is_directory(C("out/one/empty/inner"))) << "folders that hold no files";

    ASSERT_TRUE(ExtractZipArchive(storedOnly.c_str(), "C:\\out\\two\\"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/two/a/b/deep.txt")), "deep text\n");
    EXPECT_FALSE(fs::exists(C("out/two/empty"))) << "no folder entries, no empty folders";

    ASSERT_TRUE(ExtractZipArchive(mixed.c_str(), "C:/out/three"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/three/x/y/z/stored.txt")), "stored");
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/three/x/deflated.txt")), std::string(5000, 'd'));
    EXPECT_TRUE(fs::is_directory(C("out/three/x/dir")));

    for (const std::string& path : winroot.Everything()) {
        if (!before.count(path)) {
            EXPECT_EQ(path.rfind("drive_c/out", 0), 0u) << path << " written outside";
        }
    }
}

TEST_F(ZipExtractionTest, BrokenArchivesFail) {
    std::string empty = Package("empty.zip", ZipWriter().Bytes());
    std::string whole = ZipWriter().Add("a.txt", std::string(1000, 'a')).Bytes();
    std::string truncated = Package("truncated.zip", whole.substr(0, whole.size() / 2));
    // The deflate stream of the entry is replaced by a block of the reserved type.
    ZipWriter deflated;
    deflated.Add("c.txt", std::string(5000, 'c'), ZipWriter::kDeflated);
    std::string bytes = deflated.Bytes();
    bytes.replace(deflated.DataAt(0), deflated.CompressedSize(0),
                  std::string(deflated.CompressedSize(0), '\xff'));
    std::string corrupted = Package("corrupted.zip", bytes);
    // The stored data no longer matches the CRC-32 recorded for it.
    bytes = ZipWriter().Add("crc.txt", "GOOD-DATA").Bytes();
    bytes.replace(bytes.find("GOOD-DATA"), 9, "EVIL-DATA");
    std::string badCrc = Package("crc.zip", bytes);
    testsupport::WriteFileBytes(C("pkg/text.zip"), "not a zip archive");
    const char* rows[] = {empty.c_str(),
                          truncated.c_str(),
                          corrupted.c_str(),
                          badCrc.c_str(),
                          "C:\\pkg\\text.zip",
                          "C:\\pkg\\missing.zip",
                          ""};
    for (const char* archive : rows)
        EXPECT_FALSE(ExtractZipArchive(archive, "C:\\out")) << archive;
    EXPECT_FALSE(ExtractZipArchive(nullptr, "C:\\out"));
    EXPECT_FALSE(ExtractZipArchive(badCrc.c_str(), nullptr));
}

// Other methods (bzip2 12, LZMA 14) would come out as their compressed bytes, unchecked.
TEST_F(ZipExtractionTest, OnlyStoredAndDeflatedEntriesAreRead) {
    for (uint16_t method : {12, 14}) {
        testsupport::WriteFileBytes(C("out/b.txt"), "old");
        std::string archive =
            Package("method" + std::to_string(method) + ".zip",
                    ZipWriter().Add("b.txt", std::string(5000, 'b'), method).Bytes());
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out")) << method;
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/b.txt")), "old") << method;
    }
}

// A folder holds no data: whatever method its record names (some archivers write one), it is
// made; a file of such a method is still refused.
TEST_F(ZipExtractionTest, FolderEntriesAreMadeWhateverTheirMethod) {
    for (uint16_t method : {12, 14, 99}) {
        ZipWriter writer;
        writer.Add("d/", "", method, ZipWriter::kFolderAttributes).Add("d/f.txt", "f");
        std::string archive = Package("dir" + std::to_string(method) + ".zip", writer.Bytes());
        std::string folder = "C:\\out\\" + std::to_string(method);
        EXPECT_TRUE(ExtractZipArchive(archive.c_str(), folder.c_str())) << method;
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/" + std::to_string(method) + "/d/f.txt")), "f");
    }
}

// An entry marked encrypted (bit 0 of its flags) is refused before its target is opened, so an
// existing file keeps its contents.
TEST_F(ZipExtractionTest, EncryptedEntriesAreRefusedBeforeTheTargetIsTouched) {
    testsupport::WriteFileBytes(C("out/secret.txt"), "old");
    ZipWriter writer;
    writer.Add("secret.txt", "new");
    std::string bytes = writer.Bytes();
    Put16(bytes, writer.LocalHeaderAt(0) + 6, 1);
    Put16(bytes, writer.CentralRecordAt(0) + 8, 1);
    std::string archive = Package("encrypted.zip", bytes);
    EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/secret.txt")), "old");
}

// The check is asked before every entry and while a large entry is written; a true answer fails
// the extraction at once.
TEST_F(ZipExtractionTest, CancelCheckStopsBetweenAndWithinEntries) {
    std::string archive =
        Package("cancel.zip",
                ZipWriter()
                    .Add("a.txt", "a")
                    .Add("big.bin", testsupport::RandomBytes(1 << 20, 7), ZipWriter::kDeflated)
                    .Add("c.txt", "c")
                    .Bytes());
    auto sizeOf = [](const fs::path& file) {
        std::error_code error;
        auto size = fs::file_size(file, error);
        return error ? 0 : size;
    };
    // Stop once the first entry is written: nothing after it.
    EXPECT_FALSE(
        ExtractZipArchive(archive.c_str(), "C:\\one", [&] { return sizeOf(C("one/a.txt")) == 1; }));
    EXPECT_EQ(testsupport::ReadFileBytes(C("one/a.txt")), "a");
    EXPECT_FALSE(fs::exists(C("one/big.bin")));

    // Stop within the large entry: part of it is written, and the rest of the archive is not.
    EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\two",
                                   [&] { return sizeOf(C("two/big.bin")) > 100000; }));
    EXPECT_LT(sizeOf(C("two/big.bin")), 1u << 20);
    EXPECT_FALSE(fs::exists(C("two/c.txt")));

    int calls = 0;
    EXPECT_TRUE(ExtractZipArchive(archive.c_str(), "C:\\three", [&] { return ++calls < 0; }));
    EXPECT_EQ(sizeOf(C("three/big.bin")), 1u << 20);
}

// Three entries "a.txt", "b.txt", "c.txt" whose central directory is then damaged.
TEST_F(ZipExtractionTest, EveryRecordTheDirectoryCountsMustBeRead) {
    ZipWriter writer;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writer.Add(name, std::string(1, name[0]));
    const std::string threeEntries = writer.Bytes();
    std::string damagedSecond = threeEntries;
    damagedSecond.replace(writer.CentralRecordAt(1), 4, "XXXX");
    std::string countsFour = threeEntries;
    Put16(countsFour, writer.EndRecordAt() + 8, 4);
    Put16(countsFour, writer.EndRecordAt() + 10, 4);
    for (const std::string& archive :
         {Package("second.zip", damagedSecond), Package("four.zip", countsFour)}) {
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out")) << archive;
        EXPECT_FALSE(fs::exists(C("out/a.txt"))) << "a damaged directory writes nothing";
    }
}

TEST_F(ZipExtractionTest, EntriesSharingDataAreRefused) {
    // Three directory records for one local entry of 100,000 bytes: a 1,000-byte archive that
    // would write 300,000.
    ZipWriter writer;
    writer.Add("a.txt", std::string(100000, 'a'), ZipWriter::kDeflated);
    std::string data = writer.Bytes();
    const size_t directory = writer.CentralRecordAt(0), end = writer.EndRecordAt();
    const std::string record = data.substr(directory, end - directory);
    std::string records = record;
    for (const char* other : {"b.txt", "c.txt"}) {
        std::string copy = record;
        copy.replace(copy.find("a.txt"), 5, other);
        records += copy;
    }
    std::string endRecord = data.substr(end);
    Put16(endRecord, 8, 3);
    Put16(endRecord, 10, 3);
    Put32(endRecord, 12, static_cast<uint32_t>(records.size()));
    std::string archive = Package("overlap.zip", data.substr(0, directory) + records + endRecord);
    EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    for (const char* name : {"out/a.txt", "out/b.txt", "out/c.txt"})
        EXPECT_FALSE(fs::exists(C(name))) << name;
}

// A deflated entry of 5,000 bytes whose declared size and CRC-32 (local header and central
// directory alike) are made to say otherwise.
TEST_F(ZipExtractionTest, EntriesMustInflateToExactlyTheirDeclaredSize) {
    struct Row {
        const char* name;
        uint32_t declaredSize;
        size_t crcOfFirst;  // the CRC-32 declared is that of the first bytes of the data
    } rows[] = {
        {"longer.zip", 100, 100},     // inflates past its size; its first 100 bytes match
        {"shorter.zip", 6000, 5000},  // the deflate stream ends before the declared size
        {"exact.zip", 5000, 5000},
    };
    for (const Row& row : rows) {
        ZipWriter writer;
        writer.Add("s.txt", std::string(5000, 'a'), ZipWriter::kDeflated);
        std::string bytes = writer.Bytes();
        const uint32_t crc = testsupport::Crc32(std::string(row.crcOfFirst, 'a'));
        Put32(bytes, writer.LocalHeaderAt(0) + 14, crc);
        Put32(bytes, writer.LocalHeaderAt(0) + 22, row.declaredSize);
        Put32(bytes, writer.CentralRecordAt(0) + 16, crc);
        Put32(bytes, writer.CentralRecordAt(0) + 24, row.declaredSize);
        std::string archive = Package(row.name, bytes);
        bool extracted = ExtractZipArchive(archive.c_str(), "C:\\out");
        EXPECT_EQ(extracted, row.declaredSize == 5000) << row.name;
    }
}

// Numbered lines, which deflate well.
std::string Lines(size_t size) {
    std::string text;
    for (size_t line = 0; text.size() < size; ++line)
        text += "line " + std::to_string(line * 7919 % 100003) + "\r\n";
    text.resize(size);
    return text;
}

// Small deflated entries are inflated whole and larger ones streamed: entries on either side of
// the bound, one whose data is small but whose deflated bytes are not, and empty ones, in a row.
TEST_F(ZipExtractionTest, EntriesOnBothSidesOfTheWholeInflateBoundExtract) {
    const size_t most = static_cast<size_t>(WholeEntryInflater::kMostBytes);
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"at.txt", Lines(most)},
        {"small.txt", Lines(3000)},
        {"below.txt", Lines(most - 1)},
        {"empty.txt", ""},
        {"over.txt", Lines(most + 1)},
        {"noise.bin", testsupport::RandomBytes(most, 3)},  // deflates to more than `most`
        {"last.txt", Lines(17)},
    };
    ZipWriter writer;
    for (const auto& [name, data] : entries)
        writer.Add(name, data, ZipWriter::kDeflated);
    ASSERT_GT(writer.CompressedSize(5), most);
    const std::string archive = Package("bound.zip", writer.Bytes());
    ASSERT_TRUE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    for (const auto& [name, data] : entries)
        EXPECT_TRUE(testsupport::ReadFileBytes(C("out/" + name)) == data) << name;

    // One entry at a time, without the reading ahead.
    TUnzip unzip;
    ASSERT_TRUE(unzip.Open(archive.c_str()));
    EXPECT_TRUE(unzip.ExtractCurrentEntry("C:\\one"));
    EXPECT_TRUE(testsupport::ReadFileBytes(C("one/at.txt")) == entries[0].second);
}

// The same damage fails an entry inflated whole and one streamed alike: a wrong CRC-32, damaged
// data, and compressed bytes declared one short of the stream.
TEST_F(ZipExtractionTest, DamagedDeflatedEntriesFailOnBothSidesOfTheBound) {
    const size_t most = static_cast<size_t>(WholeEntryInflater::kMostBytes);
    for (size_t size : {size_t{5000}, most + 1}) {
        const std::string data = Lines(size);
        ZipWriter writer;
        writer.Add("d.txt", data, ZipWriter::kDeflated);
        const std::string bytes = writer.Bytes();
        const size_t local = writer.LocalHeaderAt(0), central = writer.CentralRecordAt(0);
        const uint32_t compressed = static_cast<uint32_t>(writer.CompressedSize(0));

        std::string badCrc = bytes;
        Put32(badCrc, local + 14, testsupport::Crc32(data) ^ 1);
        Put32(badCrc, central + 16, testsupport::Crc32(data) ^ 1);
        std::string damaged = bytes;
        damaged.replace(writer.DataAt(0) + compressed / 2, 16, std::string(16, '\x5a'));
        std::string cut = bytes;
        Put32(cut, local + 18, compressed - 1);
        Put32(cut, central + 20, compressed - 1);
        const std::string tag = std::to_string(size);
        for (const auto& [name, archive] :
             {std::pair{"crc", badCrc}, {"damaged", damaged}, {"cut", cut}}) {
            const std::string path = Package(name + tag + ".zip", archive);
            EXPECT_FALSE(ExtractZipArchive(path.c_str(), "C:\\out")) << name << " " << size;
        }
    }
}

// Sizes given only in zip64 fields (every 32-bit size 0xFFFFFFFF), as in packages with entries
// over 4 GiB: the extraction takes the real sizes from the fields, so that the entries neither
// seem to overlap nor read into each other, and still holds each entry to its declared size.
TEST_F(ZipExtractionTest, SizesInZip64FieldsAreHeldTo) {
    const std::string text = "zip64 sized text\n";
    const std::string noise = testsupport::RandomBytes(70000, 7);
    ZipWriter writer;
    writer.WithZip64Sizes()
        .Add("z/deflated.txt", std::string(9000, 'z'), ZipWriter::kDeflated)
        .Add("z/stored.txt", text)
        .Add("z/noise.bin", noise, ZipWriter::kDeflated)
        .Add("z/last.txt", text);
    const std::string bytes = writer.Bytes();
    std::string archive = Package("zip64.zip", bytes);
    ASSERT_TRUE(ExtractZipArchive(archive.c_str(), "C:\\out\\whole"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/whole/z/deflated.txt")), std::string(9000, 'z'));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/whole/z/stored.txt")), text);
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/whole/z/noise.bin")), noise);
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/whole/z/last.txt")), text);

    // A stored entry whose zip64 field declares more bytes than it holds would read on into the
    // next entry's header; one that declares fewer would leave its last bytes unchecked.
    for (int64_t change : {+30, -1}) {
        std::string damaged = bytes;
        const size_t sizes = writer.CentralZip64SizesAt(1);
        for (size_t field : {sizes, sizes + 8})
            Put32(damaged, field, static_cast<uint32_t>(text.size() + change));
        std::string name = change > 0 ? "more.zip" : "fewer.zip";
        std::string damagedArchive = Package(name, damaged);
        EXPECT_FALSE(ExtractZipArchive(damagedArchive.c_str(), "C:\\out\\damaged")) << name;
    }
}

TEST_F(ZipExtractionTest, RefusesEntriesOutsideDestination) {
    const char* names[] = {"../evil.txt",    "a/../../evil.txt", "/evil.txt",
                           "\\evil.txt",     "C:/evil.txt",      "C:evil.txt",
                           "a/.. /evil.txt", "a/.../evil.txt",   "a\\..\\..\\evil.txt"};
    int index = 0;
    for (const char* name : names) {
        std::string archive =
            Package("escape" + std::to_string(index++) + ".zip",
                    ZipWriter().Add("fine.txt", "fine").Add(name, "evil").Bytes());
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out\\deep\\dest")) << name;
    }
    for (const std::string& path : winroot.Everything())
        EXPECT_EQ(fs::path(path).filename().string().find("evil"), std::string::npos) << path;
    EXPECT_TRUE(fs::exists(C("out/deep/dest/fine.txt")));
}

TEST_F(ZipExtractionTest, PathsThatDoNotFitFailTheEntryCleanly) {
    // "C:\" + 50-byte folder = 53 bytes; a name of 205 bytes joins to 259 bytes: the most that
    // fits with the terminator. One byte more does not fit.
    std::string folder = "C:\\" + std::string(50, 'f');
    std::string fits = std::string(100, 'a') + "/" + std::string(104, 'b');
    std::string tooLong = std::string(100, 'a') + "/" + std::string(105, 'c');
    std::string huge =
        std::string(100, 'h') + "/" + std::string(100, 'h') + "/" + std::string(70, 'h');
    std::string okArchive = Package("fits.zip", ZipWriter().Add(fits, "x").Bytes());
    std::string longArchive = Package("long.zip", ZipWriter().Add(tooLong, "x").Bytes());
    std::string hugeArchive = Package("huge.zip", ZipWriter().Add(huge, "x").Bytes());
    EXPECT_TRUE(ExtractZipArchive(okArchive.c_str(), folder.c_str()));
    EXPECT_FALSE(ExtractZipArchive(longArchive.c_str(), folder.c_str()));
    EXPECT_FALSE(ExtractZipArchive(hugeArchive.c_str(), "C:\\o"));
    EXPECT_FALSE(fs::exists(
        C(std::string(50, 'f') + "/" + std::string(100, 'a') + "/" + std::string(105, 'c'))));
    EXPECT_FALSE(fs::exists(C("o/" + std::string(100, 'h'))));
}

TEST_F(ZipExtractionTest, OpenKeepsTheArchiveFolderAsDefaultDestination) {
    std::string archive = Package("here.zip", ZipWriter().Add("sub/h.txt", "here").Bytes());
    TUnzip unzip;
    EXPECT_STREQ(unzip.OutputFolder(), "");
    EXPECT_FALSE(unzip.ExtractAll("C:\\out")) << "nothing open";
    ASSERT_TRUE(unzip.Open(archive.c_str()));
    EXPECT_STREQ(unzip.OutputFolder(), "C:\\pkg\\");
    EXPECT_TRUE(unzip.ExtractCurrentEntry(nullptr));
    EXPECT_EQ(testsupport::ReadFileBytes(C("pkg/sub/h.txt")), "here");
    EXPECT_FALSE(unzip.Open("C:\\pkg\\missing.zip"));
    EXPECT_STREQ(unzip.OutputFolder(), "") << "a failed Open leaves it closed";
}

TEST_F(ZipExtractionTest, CreateFolderPathRules) {
    testsupport::WriteFileBytes(C("file"), "f");
    EXPECT_TRUE(CreateFolderPath("C:\\a\\b\\"));
    EXPECT_TRUE(fs::is_directory(C("a/b")));
    EXPECT_TRUE(CreateFolderPath("C:/p//q\\\\"));
    EXPECT_TRUE(fs::is_directory(C("p/q")));
    std::set<std::string> before = winroot.Everything();
    EXPECT_TRUE(CreateFolderPath("C:"));
    EXPECT_TRUE(CreateFolderPath("\\\\\\"));
    EXPECT_TRUE(CreateFolderPath(""));
    EXPECT_TRUE(CreateFolderPath("C:\\file")) << "an existing file as last component";
    EXPECT_EQ(winroot.Everything(), before) << "none of these creates anything";
    EXPECT_FALSE(CreateFolderPath("C:\\file\\sub\\deeper"));
    EXPECT_FALSE(fs::exists(C("file/sub")));
    // A rooted path stays rooted: its folders are made from the root, not below the current
    // folder (drive C here).
    std::string rooted = (winroot.root() / "rooted/x").make_preferred().string();
    EXPECT_TRUE(CreateFolderPath(rooted.c_str()));
    EXPECT_TRUE(fs::is_directory(winroot.root() / "rooted/x"));
    EXPECT_FALSE(fs::exists(C(winroot.root().relative_path().string())));
    EXPECT_FALSE(fs::exists(C("file/sub")));
}

}  // namespace
