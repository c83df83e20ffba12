#include <windows.h>

#include "winroot.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class ProfileTest : public testsupport::WinRootTest {
  protected:
    void Write(const std::string& bytes) {
        testsupport::WriteFileBytes(winroot.driveC() / "cfg/app.ini", bytes);
    }
    std::string Read() { return testsupport::ReadFileBytes(winroot.driveC() / "cfg/app.ini"); }
    static constexpr const char* kFile = "C:\\cfg\\app.ini";
};

TEST_F(ProfileTest, ValuesAreFoundWithoutRegardToCaseTrimmedAndUnquoted) {
    Write(
        "[Main]\r\n"
        "  Key1 =  value one \t\r\n"
        "quoted=\"  spaced  \"\r\n"
        "single='x'\r\n"
        "half=\"open\r\n"
        "empty=\r\n"
        "; comment=yes\r\n"
        "[Other]\n"
        "key1=other\n"
        "[\xB0\xB2\xD7\xB0]\r\n"  // section "安装"
        "\xB0\xB2=\xD7\xB0\r\n"   // key "安", value "装"
        "[\x81\x41]\r\n"          // a double-byte name whose trail byte is 'A'
        "k=upper\r\n");
    struct Row {
        const char* section;
        const char* key;
        const char* defaultValue;
        const char* expected;
    } rows[] = {
        {"main", "KEY1", "d", "value one"},
        {"MAIN", "quoted", "d", "  spaced  "},
        {"Main", "single", "d", "x"},
        {"Main", "half", "d", "\"open"},
        {"Main", "empty", "d", ""},
        {"Main", "missing", "def  ", "def"},
        {"Main", "missing", "  def", "  def"},
        {"Main", "missing", nullptr, ""},
        {"Main", "; comment", "d", "d"},
        {"OTHER", "Key1", "d", "other"},
        {"None", "key1", "d", "d"},
        {"\xB0\xB2\xD7\xB0", "\xB0\xB2", "d", "\xD7\xB0"},
        {"\x81\x41", "K", "d", "upper"},
        {"\x81\x61", "k", "d", "d"},
    };
    for (const Row& row : rows) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        DWORD length = GetPrivateProfileStringA(row.section, row.key, row.defaultValue, buffer,
                                                sizeof buffer, kFile);
        EXPECT_STREQ(buffer, row.expected) << row.section << "/" << row.key;
        EXPECT_EQ(length, std::strlen(row.expected)) << row.section << "/" << row.key;
    }
}

TEST_F(ProfileTest, MissingFileOrFolderReadsTheDefault) {
    for (const char* file : {"C:\\cfg\\none.ini", "C:\\nowhere\\none.ini"}) {
        char buffer[16];
        EXPECT_EQ(GetPrivateProfileStringA("s", "k", "fallback", buffer, sizeof buffer, file), 8u);
        EXPECT_STREQ(buffer, "fallback");
    }
}

TEST_F(ProfileTest, LongValuesAreCutToTheBuffer) {
    Write("[s]\r\nk=value one\r\n");
    struct Row {
        DWORD size;
        DWORD result;
        const char* expected;
    } rows[] = {
        {64, 9, "value one"}, {10, 9, "value one"}, {9, 8, "value on"}, {2, 1, "v"}, {1, 0, ""}};
    for (const Row& row : rows) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buffer, row.size, kFile), row.result)
            << row.size;
        EXPECT_STREQ(buffer, row.expected) << row.size;
        if (row.size < sizeof buffer) {
            EXPECT_EQ(buffer[row.size], '#') << "nothing beyond the buffer";
        }
        // The default is cut the same way.
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetPrivateProfileStringA("s", "none", "value one", buffer, row.size, kFile),
                  row.result);
        EXPECT_STREQ(buffer, row.expected);
    }
    char untouched = '#';
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", &untouched, 0, kFile), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST_F(ProfileTest, NullNamesListSectionsAndKeysAsDoubleNulLists) {
    Write("[a]\r\nk1=1\r\nK2=2\r\n\r\n[bb]\r\n");
    struct Row {
        const char* section;
        DWORD size;
        DWORD result;
        std::string expected;  // including the final NULs
    } rows[] = {
        {nullptr, 64, 5, std::string("a\0bb\0\0", 6)},
        {nullptr, 6, 5, std::string("a\0bb\0\0", 6)},  // exact fit
        {nullptr, 5, 3, std::string("a\0b\0\0", 5)},   // one short: last name cut
        {nullptr, 3, 1, std::string("a\0\0", 3)},
        {"A", 64, 6, std::string("k1\0K2\0\0", 7)},
        {"A", 7, 6, std::string("k1\0K2\0\0", 7)},
        {"A", 6, 4, std::string("k1\0K\0\0", 6)},
        {"missing", 64, 0, std::string("\0\0", 2)},
    };
    for (const Row& row : rows) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetPrivateProfileStringA(row.section, nullptr, "d", buffer, row.size, kFile),
                  row.result)
            << (row.section ? row.section : "(sections)") << " " << row.size;
        EXPECT_EQ(std::string(buffer, row.expected.size()), row.expected)
            << (row.section ? row.section : "(sections)") << " " << row.size;
    }
}

TEST_F(ProfileTest, WritesCreateFileAndSectionAndReplaceInPlace) {
    std::filesystem::create_directories(winroot.driveC() / "cfg");
    ASSERT_TRUE(WritePrivateProfileStringA("Version", "IE", "9.5.7.1", kFile));
    EXPECT_EQ(Read(), "[Version]\r\nIE=9.5.7.1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "a", "1", kFile));
    ASSERT_TRUE(WritePrivateProfileStringA("version", "Runtime", "1.2", kFile));
    ASSERT_TRUE(WritePrivateProfileStringA("VERSION", "ie", "9.5.8.0", kFile));
    // Windows appends a section without a blank line before it.
    EXPECT_EQ(Read(), "[Version]\r\nIE=9.5.8.0\r\nRuntime=1.2\r\n[Other]\r\na=1\r\n");
    char buffer[16];
    GetPrivateProfileStringA("version", "IE", "", buffer, sizeof buffer, kFile);
    EXPECT_STREQ(buffer, "9.5.8.0");
}

TEST_F(ProfileTest, WritesKeepUnrelatedLinesAndDeleteOnNull) {
    Write("; settings\n[s]\nkeep=1\ndrop=2\n[gone]\nx=1\n[t]\ny=2\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "DROP", nullptr, kFile));
    ASSERT_TRUE(WritePrivateProfileStringA("gone", nullptr, nullptr, kFile));
    ASSERT_TRUE(WritePrivateProfileStringA("s", "missing", nullptr, kFile));
    EXPECT_EQ(Read(), "; settings\r\n[s]\r\nkeep=1\r\n[t]\r\ny=2\r\n");
}

TEST_F(ProfileTest, LinesWithoutEqualsAreNotKeys) {
    Write("[s]\r\nbare\r\n  spaced bare  \r\nk=v\r\n");
    char buffer[64];
    EXPECT_EQ(GetPrivateProfileStringA("s", "bare", "d", buffer, sizeof buffer, kFile), 1u);
    EXPECT_STREQ(buffer, "d");
    EXPECT_EQ(GetPrivateProfileStringA("s", "spaced bare", "d", buffer, sizeof buffer, kFile), 1u);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileStringA("s", nullptr, "d", buffer, sizeof buffer, kFile), 2u);
    EXPECT_EQ(std::string(buffer, 3), std::string("k\0\0", 3));
    // Writing the name adds a key; the bare line stays as it was.
    ASSERT_TRUE(WritePrivateProfileStringA("s", "bare", "x", kFile));
    EXPECT_EQ(Read(), "[s]\r\nbare\r\n  spaced bare  \r\nk=v\r\nbare=x\r\n");
}

TEST_F(ProfileTest, LinesMayEndInCrLfLfOrCrAlone) {
    Write("[cr]\rk=cr\r[lf]\nk=lf\n[crlf]\r\nk=crlf\r\n[mixed]\n\rk=mixed");
    char buffer[16];
    for (const char* section : {"cr", "lf", "crlf", "mixed"}) {
        GetPrivateProfileStringA(section, "k", "d", buffer, sizeof buffer, kFile);
        EXPECT_STREQ(buffer, section);
    }
    char list[32];
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", list, sizeof list, kFile), 17u);
    EXPECT_EQ(std::string(list, 18), std::string("cr\0lf\0crlf\0mixed\0\0", 18));
}

// Two processes write keys of their own into one file at once: with the
// read-modify-write serialised, every write is kept.
TEST_F(ProfileTest, TwoProcessesWritingOneFileLoseNothing) {
    constexpr int kRounds = 100;
    Write("[shared]\r\n");
    const char* prefixes[2] = {"first", "second"};
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            for (int i = 0; i < kRounds; ++i) {
                std::string key = prefixes[c] + std::to_string(i);
                if (!WritePrivateProfileStringA("shared", key.c_str(), key.c_str(), kFile))
                    _exit(3);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int lost = 0;
    for (const char* prefix : prefixes) {
        for (int i = 0; i < kRounds; ++i) {
            std::string key = prefix + std::to_string(i);
            char buffer[32];
            GetPrivateProfileStringA("shared", key.c_str(), "", buffer, sizeof buffer, kFile);
            lost += key != buffer;
        }
    }
    EXPECT_EQ(lost, 0);
}

TEST_F(ProfileTest, AWriteRemovesTheTemporaryFilesOfKilledWritersOfThatFile) {
    Write("[s]\r\nk=old\r\n");
    const std::filesystem::path folder = winroot.driveC() / "cfg";
    testsupport::WriteFileBytes(folder / "app.ini.tmp-Ab12Cd", "[s]\r\nk=ha");
    testsupport::WriteFileBytes(folder / "other.ini.tmp-Ab12Cd", "another file's");
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "new", kFile));
    EXPECT_FALSE(std::filesystem::exists(folder / "app.ini.tmp-Ab12Cd"));
    EXPECT_TRUE(std::filesystem::exists(folder / "other.ini.tmp-Ab12Cd"));
    EXPECT_EQ(Read(), "[s]\r\nk=new\r\n");
}

TEST_F(ProfileTest, FailingWritesChangeNothing) {
    SetLastError(kSentinel);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "C:\\nowhere\\app.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(std::filesystem::exists(winroot.driveC() / "nowhere"));

    Write("[s]\r\nk=old\r\n");
    chmod((winroot.driveC() / "cfg/app.ini").c_str(), 0444);
    SetLastError(kSentinel);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "new", kFile));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Read(), "[s]\r\nk=old\r\n");

    EXPECT_TRUE(WritePrivateProfileStringA("s", nullptr, nullptr, "C:\\cfg\\absent.ini"));
    EXPECT_FALSE(std::filesystem::exists(winroot.driveC() / "cfg/absent.ini"))
        << "deleting from a missing file creates nothing";

    // No section name: nothing is found and nothing written, whatever else is given.
    for (const char* key : {"k", static_cast<const char*>(nullptr)}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(WritePrivateProfileStringA(nullptr, key, "v", "C:\\cfg\\absent.ini"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_FALSE(std::filesystem::exists(winroot.driveC() / "cfg/absent.ini"));
}

}  // namespace
