#include <windows.h>

#include "core/install_log.h"
#include "core/testing/install_log.h"

#include "winroot.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

class InstallLogTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override { std::filesystem::create_directories(winroot.driveC() / "stage/log"); }
    void TearDown() override { CloseInstallLog(); }
    std::string Contents() {
        return testsupport::ReadFileBytes(winroot.driveC() / "stage/log/install.log");
    }
    static constexpr const char* kPath = "C:\\stage\\log\\install.log";
};

// The lines of the log, each with its CR LF; fails the test on bytes after the last CR LF.
std::vector<std::string> Lines(const std::string& contents) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = contents.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(contents.substr(start, end + 2 - start));
    EXPECT_EQ(start, contents.size()) << "a line without CR LF";
    return lines;
}

// The text of a log line "[hh:mm:ss mmm]", two TABs, text, CR LF; null when the line has
// another shape.
std::optional<std::string> LineText(const std::string& line) {
    const std::string shape = "[00:00:00 000]\t\t";
    if (line.size() < shape.size() + 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)
        return std::nullopt;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == '0' ? !digit : line[i] != shape[i])
            return std::nullopt;
    }
    return line.substr(shape.size(), line.size() - shape.size() - 2);
}

TEST(InstallLogPrefix, FieldsAreZeroPadded) {
    struct Row {
        WORD hour, minute, second, milliseconds;
        const char* expected;
    } rows[] = {
        {9, 5, 3, 7, "[09:05:03 007]\t\t"},
        {23, 59, 59, 999, "[23:59:59 999]\t\t"},
        {0, 0, 0, 0, "[00:00:00 000]\t\t"},
        {12, 30, 45, 70, "[12:30:45 070]\t\t"},
    };
    for (const Row& row : rows) {
        SYSTEMTIME time{2026, 12, 3, 9, row.hour, row.minute, row.second, row.milliseconds};
        char prefix[260];
        std::memset(prefix, '#', sizeof prefix);
        FormatInstallLogPrefix(time, prefix);
        EXPECT_STREQ(prefix, row.expected);
    }
}

TEST_F(InstallLogTest, EachCallWritesOneWholeLine) {
    ASSERT_TRUE(OpenInstallLog(kPath, "wb"));
    WriteInstallLog("Version: IE_9.5.7.1");
    WriteInstallLog("");
    WriteInstallLog(nullptr);
    WriteInstallLog("\xCF\xC2\xD4\xD8Quant \xCA\xA7\xB0\xDC");  // "下载Quant 失败" in code page 936
    std::string contents = Contents();
    std::vector<std::string> lines = Lines(contents);
    ASSERT_EQ(lines.size(), 3u);
    const char* texts[] = {"Version: IE_9.5.7.1", "", "\xCF\xC2\xD4\xD8Quant \xCA\xA7\xB0\xDC"};
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(LineText(lines[i]), texts[i]) << lines[i];
    EXPECT_EQ(lines[1].size(), 18u) << "prefix, two tabs and CR LF";
}

TEST_F(InstallLogTest, NewLogTruncatesAndReopeningAppends) {
    testsupport::WriteFileBytes(winroot.driveC() / "stage/log/install.log", "earlier run\r\n");
    ASSERT_TRUE(OpenInstallLog(kPath, "wb"));
    WriteInstallLog("one");
    CloseInstallLog();
    WriteInstallLog("lost while closed");
    ASSERT_TRUE(OpenInstallLog(kPath, "ab+"));
    WriteInstallLog("two");
    CloseInstallLog();
    std::vector<std::string> lines = Lines(Contents());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\t\tone\r\n"), std::string::npos);
    EXPECT_NE(lines[1].find("\t\ttwo\r\n"), std::string::npos);
}

TEST_F(InstallLogTest, LogThatCannotOpenSkipsEveryLine) {
    ASSERT_TRUE(OpenInstallLog(kPath, "wb"));
    EXPECT_FALSE(OpenInstallLog("C:\\missing\\log\\install.log", "wb"));
    EXPECT_FALSE(InstallLogIsOpen());
    WriteInstallLog("skipped");
    EXPECT_EQ(Contents(), "");
}

// The user-interface thread closes and reopens the log while the worker writes: no write may
// touch a closed file, and every line reaches the file whole.
TEST_F(InstallLogTest, ClosingWhileTheWorkerWritesNeverTearsALine) {
    const std::string text(200, 'x');
    ASSERT_TRUE(OpenInstallLog(kPath, "wb"));
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread worker([&] {
        while (!stop) {
            WriteInstallLog(text.c_str());
            ++written;
        }
    });
    for (int i = 0; i < 300; ++i) {
        CloseInstallLog();
        EXPECT_TRUE(OpenInstallLog(kPath, "ab+"));
    }
    while (written < 1000)
        std::this_thread::yield();
    stop = true;
    worker.join();
    CloseInstallLog();
    std::vector<std::string> lines = Lines(Contents());
    EXPECT_GT(lines.size(), 0u);
    for (const std::string& line : lines)
        ASSERT_EQ(LineText(line), text) << line.size();
}

}  // namespace
