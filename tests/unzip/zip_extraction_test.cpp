#include <windows.h>
#include <winlayer/message_boxes.h>

#include "unzip/zip_extraction.h"
#include "winroot.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;
using winlayer::testing::QueueMessageBoxAnswers;
using winlayer::testing::ResetMessageBoxes;
using winlayer::testing::SetMessageBoxAnswerer;
using winlayer::testing::ShownMessageBoxes;

// The overwrite prompt for the entry "f.txt", as UTF-8.
const char kPromptForF[] =
    "\u65e0\u6cd5\u8986\u76d6\u6587\u4ef6\"f.txt\",\u8be5\u6587\u4ef6\u53ef\u80fd\u6b63\u88ab"
    "\u4f7f\u7528!\n\u662f\u5426\u7ec8\u6b62\u5347\u7ea7?";

class ZipExtractionTest : public testsupport::WinRootTest {
  protected:
    ~ZipExtractionTest() override {
        ResetMessageBoxes();
        if (holder_ > 0) {
            kill(holder_, SIGKILL);
            waitpid(holder_, nullptr, 0);
        }
    }

    fs::path C(const std::string& relative) const { return winroot.driveC() / relative; }

    // Makes C:\pkg\<name> with python's zipfile; the code sees `out`, `zipfile` and `info(name)`
    // (an entry dated 2021-03-04 05:06:08).
    std::string PythonZip(const std::string& name, const std::string& code) {
        fs::create_directories(C("pkg"));
        fs::path script = winroot.root() / (name + ".py");
        testsupport::WriteFileBytes(
            script,
            "import sys, zipfile, struct\nout = sys.argv[1]\n"
            "def info(name, attr=0):\n"
            "    i = zipfile.ZipInfo(name, date_time=(2021, 3, 4, 5, 6, 8))\n"
            "    i.external_attr = attr\n    return i\n" +
                code);
        std::string command =
            "python3 '" + script.string() + "' '" + C("pkg/" + name).string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << code;
        return "C:\\pkg\\" + name;
    }

    // Makes C:\pkg\<name> from the folder `tree` (below the root) with Info-ZIP zip.
    std::string InfoZip(const std::string& name, const std::string& tree,
                        const std::string& options) {
        fs::create_directories(C("pkg"));
        std::string command = "cd '" + (winroot.root() / tree).string() + "' && zip -q -r " +
                              options + " '" + C("pkg/" + name).string() + "' .";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return "C:\\pkg\\" + name;
    }

    // Every file and folder under the root, as paths relative to it.
    std::set<std::string> Everything() const {
        std::set<std::string> all;
        for (auto& entry : fs::recursive_directory_iterator(winroot.root()))
            all.insert(fs::relative(entry.path(), winroot.root()).string());
        return all;
    }

    // Holds the file open with share mode 0 from another process until the test ends.
    void HoldInOtherProcess(const char* windowsPath) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        holder_ = fork();
        if (holder_ == 0) {
            HANDLE file = CreateFileA(windowsPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            char ok = file != INVALID_HANDLE_VALUE;
            ssize_t ignored = write(ready[1], &ok, 1);
            (void)ignored;
            pause();
            _exit(0);
        }
        char ok = 0;
        ASSERT_EQ(read(ready[0], &ok, 1), 1);
        ASSERT_TRUE(ok);
        close(ready[0]);
        close(ready[1]);
    }

    void ReleaseOtherProcess() {
        kill(holder_, SIGKILL);
        waitpid(holder_, nullptr, 0);
        holder_ = 0;
    }

  private:
    pid_t holder_ = 0;
};

TEST_F(ZipExtractionTest, ExtractsTreesWithAndWithoutFolderEntries) {
    testsupport::WriteFileBytes(winroot.root() / "src/a/b/deep.txt", "deep text\n");
    testsupport::WriteFileBytes(winroot.root() / "src/top.bin", std::string("\0\1\2\3", 4));
    fs::create_directories(winroot.root() / "src/empty/inner");
    std::string withFolders = InfoZip("folders.zip", "src", "");
    std::string storedOnly = InfoZip("stored.zip", "src", "-0 -D");
    std::string mixed =
        PythonZip("mixed.zip",
                  "with zipfile.ZipFile(out, 'w') as z:\n"
                  "    z.writestr(info('x/y/z/stored.txt'), 'stored', zipfile.ZIP_STORED)\n"
                  "    z.writestr(info('x/deflated.txt'), 'd' * 5000, zipfile.ZIP_DEFLATED)\n"
                  "    z.writestr(info('x/dir/', 0x10), '')\n");
    GetFileAttributesA("C:\\");  // the root's first use makes its standard folders
    std::set<std::string> before = Everything();

    ASSERT_TRUE(ExtractZipArchive(withFolders.c_str(), "C:\\out\\one"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/one/a/b/deep.txt")), "deep text\n");
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/one/top.bin")), std::string("\0\1\2\3", 4));
    EXPECT_TRUE(fs::is_directory(C("out/one/empty/inner"))) << "folders that hold no files";

    ASSERT_TRUE(ExtractZipArchive(storedOnly.c_str(), "C:\\out\\two\\"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/two/a/b/deep.txt")), "deep text\n");
    EXPECT_FALSE(fs::exists(C("out/two/empty"))) << "no folder entries, no empty folders";

    ASSERT_TRUE(ExtractZipArchive(mixed.c_str(), "C:/out/three"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/three/x/y/z/stored.txt")), "stored");
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/three/x/deflated.txt")), std::string(5000, 'd'));
    EXPECT_TRUE(fs::is_directory(C("out/three/x/dir")));

    for (const std::string& path : Everything()) {
        if (!before.count(path)) {
            EXPECT_EQ(path.rfind("drive_c/out", 0), 0u) << path << " written outside";
        }
    }
}

TEST_F(ZipExtractionTest, StoredTimesBecomeCreationAndLastWriteTimes) {
    setenv("TZ", "UTC-8", 1);  // eight hours east of UTC
    tzset();
    std::string archive = PythonZip("times.zip",
                                    "with zipfile.ZipFile(out, 'w') as z:\n"
                                    "    z.writestr(info('t.txt'), 'time')\n");
    bool extracted = ExtractZipArchive(archive.c_str(), "C:\\out");
    unsetenv("TZ");
    tzset();
    ASSERT_TRUE(extracted);

    std::tm utc{};  // 2021-03-04 05:06:08 at UTC+8
    utc.tm_year = 121;
    utc.tm_mon = 2;
    utc.tm_mday = 3;
    utc.tm_hour = 21;
    utc.tm_min = 6;
    utc.tm_sec = 8;
    time_t expected = timegm(&utc);
    struct stat st;
    ASSERT_EQ(stat(C("out/t.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, expected);

    HANDLE file = CreateFileA("C:\\out\\t.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME created{}, accessed{}, written{};
    ASSERT_TRUE(GetFileTime(file, &created, &accessed, &written));
    CloseHandle(file);
    auto unixTime = [](const FILETIME& t) {
        ULONGLONG ticks = (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        return static_cast<time_t>(ticks / 10000000 - 11644473600ULL);
    };
    EXPECT_EQ(unixTime(created), expected);
    EXPECT_EQ(unixTime(written), expected);
}

TEST_F(ZipExtractionTest, BrokenArchivesFail) {
    std::string empty = PythonZip("empty.zip", "zipfile.ZipFile(out, 'w').close()\n");
    std::string truncated = PythonZip("truncated.zip",
                                      "with zipfile.ZipFile(out, 'w') as z:\n"
                                      "    z.writestr(info('a.txt'), 'a' * 1000)\n"
                                      "data = open(out, 'rb').read()\n"
                                      "open(out, 'wb').write(data[:len(data) // 2])\n");
    // The deflate stream of the entry is replaced by a block of the reserved type.
    std::string corrupted =
        PythonZip("corrupted.zip",
                  "with zipfile.ZipFile(out, 'w') as z:\n"
                  "    z.writestr(info('c.txt'), 'c' * 5000, zipfile.ZIP_DEFLATED)\n"
                  "e = zipfile.ZipFile(out).infolist()[0]\n"
                  "data = bytearray(open(out, 'rb').read())\n"
                  "n, x = struct.unpack('<HH', data[e.header_offset + 26:e.header_offset + 30])\n"
                  "at = e.header_offset + 30 + n + x\n"
                  "data[at:at + e.compress_size] = b'\\xff' * e.compress_size\n"
                  "open(out, 'wb').write(data)\n");
    // The stored data no longer matches the CRC-32 recorded for it.
    std::string badCrc =
        PythonZip("crc.zip",
                  "with zipfile.ZipFile(out, 'w') as z:\n"
                  "    z.writestr(info('crc.txt'), 'GOOD-DATA')\n"
                  "data = open(out, 'rb').read().replace(b'GOOD-DATA', b'EVIL-DATA')\n"
                  "open(out, 'wb').write(data)\n");
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
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

// Other methods (bzip2 12, LZMA 14) would come out as their compressed bytes, unchecked.
TEST_F(ZipExtractionTest, OnlyStoredAndDeflatedEntriesAreRead) {
    const char* methods[] = {"ZIP_BZIP2", "ZIP_LZMA"};
    for (const char* method : methods) {
        testsupport::WriteFileBytes(C("out/b.txt"), "old");
        std::string archive = PythonZip(std::string(method) + ".zip",
                                        "with zipfile.ZipFile(out, 'w') as z:\n"
                                        "    z.writestr(info('b.txt'), 'b' * 5000, zipfile." +
                                            std::string(method) + ")\n");
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out")) << method;
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/b.txt")), "old") << method;
    }
}

// A folder holds no data: whatever method its record names (some archivers write one), it is
// made; a file of such a method is still refused.
TEST_F(ZipExtractionTest, FolderEntriesAreMadeWhateverTheirMethod) {
    for (int method : {12, 14, 99}) {
        std::string name = "dir" + std::to_string(method) + ".zip";
        std::string archive = PythonZip(name,
                                        "with zipfile.ZipFile(out, 'w') as z:\n"
                                        "    z.writestr(info('d/', 0x10), '')\n"
                                        "    z.writestr(info('d/f.txt'), 'f')\n"
                                        "data = bytearray(open(out, 'rb').read())\n"
                                        "e = zipfile.ZipFile(out).infolist()[0]\n"
                                        "struct.pack_into('<H', data, e.header_offset + 8, " +
                                            std::to_string(method) +
                                            ")\n"
                                            "cd = data.find(b'PK\\x01\\x02')\n"
                                            "struct.pack_into('<H', data, cd + 10, " +
                                            std::to_string(method) +
                                            ")\n"
                                            "open(out, 'wb').write(data)\n");
        std::string folder = "C:\\out\\" + std::to_string(method);
        EXPECT_TRUE(ExtractZipArchive(archive.c_str(), folder.c_str())) << method;
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/" + std::to_string(method) + "/d/f.txt")), "f");
    }
}

// An entry marked encrypted (bit 0 of its flags) is refused before its target is opened, so an
// existing file keeps its contents.
TEST_F(ZipExtractionTest, EncryptedEntriesAreRefusedBeforeTheTargetIsTouched) {
    testsupport::WriteFileBytes(C("out/secret.txt"), "old");
    std::string archive = PythonZip("encrypted.zip",
                                    "with zipfile.ZipFile(out, 'w') as z:\n"
                                    "    z.writestr(info('secret.txt'), 'new')\n"
                                    "data = bytearray(open(out, 'rb').read())\n"
                                    "struct.pack_into('<H', data, 6, 1)\n"
                                    "cd = data.find(b'PK\\x01\\x02')\n"
                                    "struct.pack_into('<H', data, cd + 8, 1)\n"
                                    "open(out, 'wb').write(data)\n");
    EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/secret.txt")), "old");
}

// The check is asked before every entry and while a large entry is written; a true answer fails
// the extraction at once.
TEST_F(ZipExtractionTest, CancelCheckStopsBetweenAndWithinEntries) {
    std::string archive = PythonZip("cancel.zip",
                                    "import random\n"
                                    "random.seed(7)\n"
                                    "big = random.randbytes(1 << 20)\n"
                                    "with zipfile.ZipFile(out, 'w') as z:\n"
                                    "    z.writestr(info('a.txt'), 'a')\n"
                                    "    z.writestr(info('big.bin'), big, zipfile.ZIP_DEFLATED)\n"
                                    "    z.writestr(info('c.txt'), 'c')\n");
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
    const std::string threeEntries =
        "with zipfile.ZipFile(out, 'w') as z:\n"
        "    for n in 'abc':\n"
        "        z.writestr(info(n + '.txt'), n)\n"
        "data = bytearray(open(out, 'rb').read())\n"
        "first = data.find(b'PK\\x01\\x02')\n"
        "end = data.rfind(b'PK\\x05\\x06')\n";
    std::string damagedSecond = PythonZip("second.zip", threeEntries +
                                                            "second = data.find(b'PK\\x01\\x02', "
                                                            "first + 4)\n"
                                                            "data[second:second + 4] = b'XXXX'\n"
                                                            "open(out, 'wb').write(data)\n");
    std::string countsFour =
        PythonZip("four.zip", threeEntries +
                                  "struct.pack_into('<HH', data, end + 8, 4, 4)\n"
                                  "open(out, 'wb').write(data)\n");
    for (const std::string& archive : {damagedSecond, countsFour}) {
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out")) << archive;
        EXPECT_FALSE(fs::exists(C("out/a.txt"))) << "a damaged directory writes nothing";
    }
}

TEST_F(ZipExtractionTest, EntriesSharingDataAreRefused) {
    // Three directory records for one local entry of 100,000 bytes: a 1,000-byte archive that
    // would write 300,000.
    std::string archive = PythonZip(
        "overlap.zip",
        "with zipfile.ZipFile(out, 'w') as z:\n"
        "    z.writestr(info('a.txt'), 'a' * 100000, zipfile.ZIP_DEFLATED)\n"
        "data = open(out, 'rb').read()\n"
        "cd = data.find(b'PK\\x01\\x02')\n"
        "end = data.rfind(b'PK\\x05\\x06')\n"
        "record = data[cd:end]\n"
        "records = record + record.replace(b'a.txt', b'b.txt') + record.replace(b'a.txt', "
        "b'c.txt')\n"
        "eocd = bytearray(data[end:])\n"
        "struct.pack_into('<HHI', eocd, 8, 3, 3, len(records))\n"
        "open(out, 'wb').write(data[:cd] + records + eocd)\n");
    EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    for (const char* name : {"out/a.txt", "out/b.txt", "out/c.txt"})
        EXPECT_FALSE(fs::exists(C(name))) << name;
}

// A deflated entry of 5,000 bytes whose declared size and CRC-32 (local header and central
// directory alike) are made to say otherwise.
TEST_F(ZipExtractionTest, EntriesMustInflateToExactlyTheirDeclaredSize) {
    struct Row {
        const char* name;
        int declaredSize;
        int crcOfFirst;  // the CRC-32 declared is that of the first bytes of the data
    } rows[] = {
        {"longer.zip", 100, 100},     // inflates past its size; its first 100 bytes match
        {"shorter.zip", 6000, 5000},  // the deflate stream ends before the declared size
        {"exact.zip", 5000, 5000},
    };
    for (const Row& row : rows) {
        std::string archive =
            PythonZip(row.name,
                      "import zlib\n"
                      "with zipfile.ZipFile(out, 'w') as z:\n"
                      "    z.writestr(info('s.txt'), 'a' * 5000, zipfile.ZIP_DEFLATED)\n"
                      "data = bytearray(open(out, 'rb').read())\n"
                      "e = zipfile.ZipFile(out).infolist()[0]\n"
                      "crc = zlib.crc32(b'a' * " +
                          std::to_string(row.crcOfFirst) +
                          ")\n"
                          "struct.pack_into('<I', data, e.header_offset + 14, crc)\n"
                          "struct.pack_into('<I', data, e.header_offset + 22, " +
                          std::to_string(row.declaredSize) +
                          ")\n"
                          "cd = data.find(b'PK\\x01\\x02')\n"
                          "struct.pack_into('<I', data, cd + 16, crc)\n"
                          "struct.pack_into('<I', data, cd + 24, " +
                          std::to_string(row.declaredSize) +
                          ")\n"
                          "open(out, 'wb').write(data)\n");
        bool extracted = ExtractZipArchive(archive.c_str(), "C:\\out");
        EXPECT_EQ(extracted, row.declaredSize == 5000) << row.name;
    }
}

TEST_F(ZipExtractionTest, RefusesEntriesOutsideDestination) {
    const char* names[] = {"../evil.txt",    "a/../../evil.txt", "/evil.txt",
                           "\\evil.txt",     "C:/evil.txt",      "C:evil.txt",
                           "a/.. /evil.txt", "a/.../evil.txt",   "a\\..\\..\\evil.txt"};
    int index = 0;
    for (const char* name : names) {
        std::string archive = PythonZip("escape" + std::to_string(index++) + ".zip",
                                        std::string("with zipfile.ZipFile(out, 'w') as z:\n"
                                                    "    z.writestr(info('fine.txt'), 'fine')\n"
                                                    "    z.writestr(info(r'") +
                                            name + "'), 'evil')\n");
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out\\deep\\dest")) << name;
    }
    for (auto& entry : fs::recursive_directory_iterator(winroot.root()))
        EXPECT_EQ(entry.path().filename().string().find("evil"), std::string::npos) << entry.path();
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
    std::string okArchive = PythonZip("fits.zip",
                                      "with zipfile.ZipFile(out, 'w') as z:\n"
                                      "    z.writestr(info('" +
                                          fits + "'), 'x')\n");
    std::string longArchive = PythonZip("long.zip",
                                        "with zipfile.ZipFile(out, 'w') as z:\n"
                                        "    z.writestr(info('" +
                                            tooLong + "'), 'x')\n");
    std::string hugeArchive = PythonZip("huge.zip",
                                        "with zipfile.ZipFile(out, 'w') as z:\n"
                                        "    z.writestr(info('" +
                                            huge + "'), 'x')\n");
    EXPECT_TRUE(ExtractZipArchive(okArchive.c_str(), folder.c_str()));
    EXPECT_FALSE(ExtractZipArchive(longArchive.c_str(), folder.c_str()));
    EXPECT_FALSE(ExtractZipArchive(hugeArchive.c_str(), "C:\\o"));
    EXPECT_FALSE(fs::exists(
        C(std::string(50, 'f') + "/" + std::string(100, 'a') + "/" + std::string(105, 'c'))));
    EXPECT_FALSE(fs::exists(C("o/" + std::string(100, 'h'))));
}

// The same three answers for a file held with share mode 0 (here and in another process) and
// for a read-only file.
TEST_F(ZipExtractionTest, PromptAnswersForFilesThatCannotBeReplaced) {
    std::string archive = PythonZip("two.zip",
                                    "with zipfile.ZipFile(out, 'w') as z:\n"
                                    "    z.writestr(info('f.txt'), 'new')\n"
                                    "    z.writestr(info('g.txt'), 'next')\n");
    enum Blocker { kHeldHere, kHeldElsewhere, kReadOnly };
    for (Blocker blocker : {kHeldHere, kHeldElsewhere, kReadOnly}) {
        SCOPED_TRACE(blocker);
        fs::remove_all(C("out"));
        testsupport::WriteFileBytes(C("out/f.txt"), "old");
        HANDLE held = INVALID_HANDLE_VALUE;
        auto block = [&] {
            if (blocker == kHeldHere)
                held = CreateFileA("C:\\out\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            else if (blocker == kHeldElsewhere)
                HoldInOtherProcess("C:\\out\\f.txt");
            else
                fs::permissions(C("out/f.txt"), fs::perms::owner_read | fs::perms::group_read,
                                fs::perm_options::replace);
        };
        auto unblock = [&] {
            if (blocker == kHeldHere)
                CloseHandle(held);
            else if (blocker == kHeldElsewhere)
                ReleaseOtherProcess();
            else
                fs::permissions(C("out/f.txt"), fs::perms::owner_write, fs::perm_options::add);
        };
        block();

        ResetMessageBoxes();
        QueueMessageBoxAnswers({IDABORT});
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out"));
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/f.txt")), "old");
        EXPECT_FALSE(fs::exists(C("out/g.txt"))) << "Abort stops the archive";
        auto shown = ShownMessageBoxes();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, kPromptForF);
        EXPECT_EQ(shown[0].caption, "\u8b66\u544a");
        EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_ABORTRETRYIGNORE));

        QueueMessageBoxAnswers({IDIGNORE});
        EXPECT_TRUE(ExtractZipArchive(archive.c_str(), "C:\\out"));
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/f.txt")), "old") << "Ignore keeps the old file";
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/g.txt")), "next");

        // Retry asks again while the file stays blocked, and succeeds once it is free.
        int asked = 0;
        SetMessageBoxAnswerer([&](const std::string&, const std::string&, UINT) {
            if (++asked == 2)
                unblock();
            return IDRETRY;
        });
        EXPECT_TRUE(ExtractZipArchive(archive.c_str(), "C:\\out"));
        EXPECT_EQ(asked, 2);
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/f.txt")), "new");
    }
}

// Entries larger than what is read ahead of the writer (several MiB): data skipped at the
// prompt is dropped without shifting the next entries' data, and a stop while the reading side
// waits for room ends the extraction at once.
TEST_F(ZipExtractionTest, LargeEntriesReadAheadStayInStep) {
    std::string archive =
        PythonZip("large.zip",
                  "import random\n"
                  "r = random.Random(7)\n"
                  "def data(n): return bytes(r.getrandbits(8) for _ in range(4096)) * (n // 4096)\n"
                  "with zipfile.ZipFile(out, 'w') as z:\n"
                  "    z.writestr(info('first.bin'), data(9 << 20), zipfile.ZIP_DEFLATED)\n"
                  "    z.writestr(info('second.bin'), data(6 << 20), zipfile.ZIP_STORED)\n"
                  "    z.writestr(info('third.bin'), data(7 << 20), zipfile.ZIP_DEFLATED)\n"
                  "    z.writestr(info('last.txt'), 'last')\n");
    auto expected = [&](const std::string& name) {
        std::string command =
            "python3 -c \"import zipfile,sys; sys.stdout.buffer.write("
            "zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))\" '" +
            C("pkg/large.zip").string() + "' " + name + " > '" + (winroot.root() / name).string() +
            "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return testsupport::ReadFileBytes(winroot.root() / name);
    };
    testsupport::WriteFileBytes(C("out/first.bin"), "old");
    fs::permissions(C("out/first.bin"), fs::perms::owner_read, fs::perm_options::replace);

    QueueMessageBoxAnswers({IDIGNORE});
    EXPECT_TRUE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/first.bin")), "old");
    for (const char* name : {"second.bin", "third.bin", "last.txt"})
        EXPECT_TRUE(testsupport::ReadFileBytes(C(std::string("out/") + name)) == expected(name))
            << name;

    fs::remove(C("out/second.bin"));
    fs::remove(C("out/last.txt"));
    QueueMessageBoxAnswers({IDABORT});
    EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    EXPECT_FALSE(fs::exists(C("out/second.bin")));
    EXPECT_FALSE(fs::exists(C("out/last.txt")));
    fs::permissions(C("out/first.bin"), fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(ZipExtractionTest, OpenKeepsTheArchiveFolderAsDefaultDestination) {
    std::string archive = PythonZip("here.zip",
                                    "with zipfile.ZipFile(out, 'w') as z:\n"
                                    "    z.writestr(info('sub/h.txt'), 'here')\n");
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
    std::set<std::string> before = Everything();
    EXPECT_TRUE(CreateFolderPath("C:"));
    EXPECT_TRUE(CreateFolderPath("\\\\\\"));
    EXPECT_TRUE(CreateFolderPath(""));
    EXPECT_TRUE(CreateFolderPath("C:\\file")) << "an existing file as last component";
    EXPECT_EQ(Everything(), before) << "none of these creates anything";
    EXPECT_FALSE(CreateFolderPath("C:\\file\\sub\\deeper"));
    EXPECT_FALSE(fs::exists(C("file/sub")));
    // A rooted path stays rooted: its folders are made from the root, not below the current
    // folder (drive_c here).
    std::string rooted = (winroot.root() / "rooted/x").string();
    EXPECT_TRUE(CreateFolderPath(rooted.c_str()));
    EXPECT_TRUE(fs::is_directory(winroot.root() / "rooted/x"));
    EXPECT_FALSE(fs::exists(C(winroot.root().relative_path().string())));
    EXPECT_FALSE(fs::exists(C("file/sub")));
}

}  // namespace
