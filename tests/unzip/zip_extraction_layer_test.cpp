#include <windows.h>
#include <winlayer/message_boxes.h>

#include "unzip/zip_extraction.h"
#include "winroot.h"
#include "zip_writer.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

// Zip extraction where it needs the layer's hooks: the answers given to the overwrite prompt,
// another process that holds a file, and the time zone from TZ. The rest of the extraction's
// tests run on both targets (zip_extraction_test.cpp).
namespace {

namespace fs = std::filesystem;
using testsupport::ZipWriter;
using winlayer::testing::QueueMessageBoxAnswers;
using winlayer::testing::ResetMessageBoxes;
using winlayer::testing::SetMessageBoxAnswerer;
using winlayer::testing::ShownMessageBoxes;

// The overwrite prompt for the entry "f.txt", as UTF-8.
const char kPromptForF[] =
    "\u65e0\u6cd5\u8986\u76d6\u6587\u4ef6\"f.txt\",\u8be5\u6587\u4ef6\u53ef\u80fd\u6b63\u88ab"
    "\u4f7f\u7528!\n\u662f\u5426\u7ec8\u6b62\u5347\u7ea7?";

class ZipExtractionLayerTest : public testsupport::WinRootTest {
  protected:
    ~ZipExtractionLayerTest() override {
        ResetMessageBoxes();
        if (holder_ > 0) {
            kill(holder_, SIGKILL);
            waitpid(holder_, nullptr, 0);
        }
    }

    fs::path C(const std::string& relative) const { return winroot.driveC() / relative; }

    std::string Package(const std::string& name, const std::string& bytes) {
        testsupport::WriteFileBytes(C("pkg/" + name), bytes);
        return "C:\\pkg\\" + name;
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

TEST_F(ZipExtractionLayerTest, StoredTimesBecomeCreationAndLastWriteTimes) {
    setenv("TZ", "UTC-8", 1);  // eight hours east of UTC
    tzset();
    std::string archive = Package("times.zip", ZipWriter().Add("t.txt", "time").Bytes());
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

TEST_F(ZipExtractionLayerTest, BrokenArchivesShowNoPrompt) {
    std::string bytes = ZipWriter().Add("crc.txt", "GOOD-DATA").Bytes();
    bytes.replace(bytes.find("GOOD-DATA"), 9, "EVIL-DATA");
    EXPECT_FALSE(ExtractZipArchive(Package("crc.zip", bytes).c_str(), "C:\\out"));
    EXPECT_FALSE(ExtractZipArchive(Package("text.zip", "not a zip archive").c_str(), "C:\\out"));
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

// The same three answers for a file held with share mode 0 (here and in another process) and
// for a read-only file.
TEST_F(ZipExtractionLayerTest, PromptAnswersForFilesThatCannotBeReplaced) {
    std::string archive =
        Package("two.zip", ZipWriter().Add("f.txt", "new").Add("g.txt", "next").Bytes());
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
        // Told not to ask, the extraction fails at the file, leaving it and what follows.
        EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out", {}, UnreplaceableFile::kFail));
        EXPECT_TRUE(ShownMessageBoxes().empty());
        EXPECT_EQ(testsupport::ReadFileBytes(C("out/f.txt")), "old");
        EXPECT_FALSE(fs::exists(C("out/g.txt")));

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
TEST_F(ZipExtractionLayerTest, LargeEntriesReadAheadStayInStep) {
    // 4 KiB of random bytes repeated: large, quick to inflate, and unlike its neighbours.
    auto data = [](size_t size, uint32_t seed) {
        std::string block = testsupport::RandomBytes(4096, seed), out;
        out.reserve(size);
        while (out.size() < size)
            out += block;
        return out;
    };
    const std::string first = data(9 << 20, 1), second = data(6 << 20, 2), third = data(7 << 20, 3);
    std::string archive = Package("large.zip", ZipWriter()
                                                   .Add("first.bin", first, ZipWriter::kDeflated)
                                                   .Add("second.bin", second, ZipWriter::kStored)
                                                   .Add("third.bin", third, ZipWriter::kDeflated)
                                                   .Add("last.txt", "last")
                                                   .Bytes());
    testsupport::WriteFileBytes(C("out/first.bin"), "old");
    fs::permissions(C("out/first.bin"), fs::perms::owner_read, fs::perm_options::replace);

    QueueMessageBoxAnswers({IDIGNORE});
    EXPECT_TRUE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/first.bin")), "old");
    EXPECT_TRUE(testsupport::ReadFileBytes(C("out/second.bin")) == second);
    EXPECT_TRUE(testsupport::ReadFileBytes(C("out/third.bin")) == third);
    EXPECT_EQ(testsupport::ReadFileBytes(C("out/last.txt")), "last");

    fs::remove(C("out/second.bin"));
    fs::remove(C("out/last.txt"));
    QueueMessageBoxAnswers({IDABORT});
    EXPECT_FALSE(ExtractZipArchive(archive.c_str(), "C:\\out"));
    EXPECT_FALSE(fs::exists(C("out/second.bin")));
    EXPECT_FALSE(fs::exists(C("out/last.txt")));
    fs::permissions(C("out/first.bin"), fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
