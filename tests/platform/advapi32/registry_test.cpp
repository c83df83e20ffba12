#include <windows.h>

#include <winlayer/registry.h>

#include "advapi32/registry_store.h"
#include "winroot.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class RegistryTest : public testsupport::WinRootTest {
  protected:
    std::filesystem::path HivePath(const char* file) const {
        return winroot.root() / "registry" / file;
    }
    std::string HiveText(const char* file) const {
        return testsupport::ReadFileBytes(HivePath(file));
    }
    HKEY Create(HKEY root, const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyA(root, path, &key), ERROR_SUCCESS) << path;
        return key;
    }
    void SetString(HKEY key, const char* name, const char* text) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(std::strlen(text) + 1)),
                  ERROR_SUCCESS);
    }
    std::string QueryA(HKEY key, const char* name) {
        char buffer[512] = {};
        DWORD size = sizeof buffer;
        DWORD type = 0;
        EXPECT_EQ(
            RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS)
            << name;
        return std::string(buffer, size);
    }
};

TEST_F(RegistryTest, OpenFailsForMissingKeysAndBadArguments) {
    HKEY made = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Present");
    RegCloseKey(made);
    struct Row {
        HKEY root;
        const char* path;
        LONG expected;
    } rows[] = {
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\",
         ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "software\\present\\", ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Present", ERROR_BAD_PATHNAME},
        {HKEY_LOCAL_MACHINE, "\\SOFTWARE", ERROR_BAD_PATHNAME},
        {HKEY_CLASSES_ROOT, "\\", ERROR_SUCCESS},  // NT accepts a leading backslash here
        {HKEY_CURRENT_USER, "SOFTWARE\\Present", ERROR_FILE_NOT_FOUND},
        {reinterpret_cast<HKEY>(0x1234), "x", ERROR_INVALID_HANDLE},
    };
    for (const Row& row : rows) {
        HKEY key = reinterpret_cast<HKEY>(0x55);
        SetLastError(kSentinel);
        EXPECT_EQ(RegOpenKeyExA(row.root, row.path, 0, KEY_READ, &key), row.expected) << row.path;
        EXPECT_EQ(GetLastError(), kSentinel) << "registry calls leave the last error alone";
        if (row.expected == ERROR_SUCCESS) {
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        } else {
            EXPECT_EQ(key, nullptr) << "the result is cleared before failing: " << row.path;
        }
    }
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, NewHiveHasTheStandardKeys) {
    for (const char* path :
         {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
          "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    EXPECT_FALSE(std::filesystem::exists(HivePath("HKLM.reg"))) << "opening writes nothing";
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheCaseOfCreation) {
    HKEY first = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\MyApp");
    HKEY second = Create(HKEY_LOCAL_MACHINE, "software\\WOW6432NODE\\myapp\\Sub");
    SetString(first, "DisplayName", "first");
    SetString(first, "DISPLAYNAME", "second");
    EXPECT_EQ(QueryA(first, "displayname"), std::string("second", 7));

    std::string text = HiveText("HKLM.reg");
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\MyApp\\Sub]"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"DisplayName\"=\"second\""), std::string::npos) << text;
    EXPECT_EQ(text.find("DISPLAYNAME"), std::string::npos) << text;
    EXPECT_EQ(text.find("software"), std::string::npos) << text;
    RegCloseKey(second);
    RegCloseKey(first);
}

TEST_F(RegistryTest, HiveFileIsReadableText) {
    HKEY key = Create(HKEY_CLASSES_ROOT, "Proto\\DefaultIcon");
    SetString(key, nullptr, "C:\\dir \"x\"\\a.exe,1");
    SetString(key, "Chinese", "\xc4\xe3\xba\xc3");  // 你好 in code page 936
    DWORD number = 0x1234abcd;
    RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
    RegSetValueExA(key, "Lines", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\nb"), 4);
    RegCloseKey(key);
    EXPECT_EQ(HiveText("HKCR.reg"),
              "Windows Registry Editor Version 5.00\n"
              "\n[HKEY_CLASSES_ROOT\\Proto]\n"
              "\n[HKEY_CLASSES_ROOT\\Proto\\DefaultIcon]\n"
              "@=\"C:\\\\dir \\\"x\\\"\\\\a.exe,1\"\n"
              "\"Chinese\"=\"\xe4\xbd\xa0\xe5\xa5\xbd\"\n"
              "\"Number\"=dword:1234abcd\n"
              "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\n");
}

TEST_F(RegistryTest, ParsesWhatRegeditWrites) {
    std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\T]\r\n"
        "@=\"default\"\r\n"
        "\"Bin\"=hex:01,02,\\\r\n  03\r\n"
        "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
        "\"D\"=dword:00000010\r\n";
    std::u16string wide =
        u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Software\\T]\r\n\"Name\"=\"\u4f60\"\r\n";
    for (const std::string& file :
         {utf8, std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)}) {
        std::optional<winlayer::RegistryKey> root =
            winlayer::ParseHive(winlayer::Hive::CurrentUser, file);
        ASSERT_TRUE(root.has_value());
        ASSERT_NE(root->Find({"software", "t"}), nullptr);
    }
    testsupport::WriteFileBytes(HivePath("HKCU.reg"), utf8);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\T", 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE buffer[16];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "Bin", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), "\x01\x02\x03");
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "D", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buffer[0], 0x10);
    EXPECT_EQ(QueryA(key, ""), std::string("default", 8));
    RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedHiveIsReportedAndNeverOverwritten) {
    const std::string damaged =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n"
        "\"x\"=\"unterminated\n";
    testsupport::WriteFileBytes(HivePath("HKLM.reg"), damaged);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "B", &key), ERROR_BADDB);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(HiveText("HKLM.reg"), damaged);
}

// Windows keeps keys at most 512 levels deep. A hive file with a deeper key is damaged; it used
// to bring down every registry call when its tree was destroyed.
TEST_F(RegistryTest, KeysLieAtMost512LevelsDeep) {
    auto keyPath = [](size_t levels) {
        std::string path;
        for (size_t i = 0; i < levels; ++i)
            path += (i ? "\\k" : "k");
        return path;
    };
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (size_t levels : {size_t{512}, size_t{50000}}) {
        testsupport::WriteFileBytes(HivePath("HKLM.reg"),
                                    hive + "[HKEY_LOCAL_MACHINE\\" + keyPath(levels) + "]\n");
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath(std::min(levels, size_t{512})).c_str(),
                                0, KEY_READ, &key),
                  levels == 512 ? ERROR_SUCCESS : ERROR_BADDB)
            << levels;
        RegCloseKey(key);
    }

    std::filesystem::remove(HivePath("HKLM.reg"));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, keyPath(511).c_str(), &key), ERROR_SUCCESS);
    HKEY deeper = nullptr;
    EXPECT_EQ(RegCreateKeyA(key, "k", &deeper), ERROR_SUCCESS) << "level 512";
    RegCloseKey(deeper);
    EXPECT_EQ(RegCreateKeyA(key, "k\\k", &deeper), ERROR_INVALID_PARAMETER) << "level 513";
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath(513).c_str(), 0, KEY_READ, &deeper),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
    EXPECT_EQ(HiveText("HKLM.reg").find(keyPath(513)), std::string::npos);
}

// Siblings are found by binary search over names sorted without regard to case; characters
// between 'Z' and 'a' ("[", "_") sort as they do after folding.
TEST_F(RegistryTest, ManySiblingsAreEachFoundWhateverTheCase) {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i)
        names.push_back((i % 3 == 0 ? "Key_" : i % 3 == 1 ? "key[" : "KEYa") + std::to_string(i));
    for (const std::string& name : names)
        hive += "[HKEY_LOCAL_MACHINE\\S\\" + name + "]\n\"v\"=\"" + name + "\"\n\n";
    testsupport::WriteFileBytes(HivePath("HKLM.reg"), hive);
    for (size_t i = 0; i < names.size(); i += 97) {
        std::string asked = names[i];
        for (char& c : asked)
            c = static_cast<char>(i % 2 ? std::tolower(c) : std::toupper(c));
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("S\\" + asked).c_str(), 0, KEY_READ, &key),
                  ERROR_SUCCESS)
            << asked;
        EXPECT_EQ(QueryA(key, "v"), names[i] + '\0');
        RegCloseKey(key);
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "S\\key_", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "S\\KEY[1"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "S\\key[1", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, QueryFollowsTheSizeProtocol) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Q");
    const WCHAR text[] = u"abc";
    ASSERT_EQ(RegSetValueExW(key, u"W", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 8),
              ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"W", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    struct Row {
        DWORD bufferSize;
        LONG expected;
    } rows[] = {{8, ERROR_SUCCESS}, {7, ERROR_MORE_DATA}, {0, ERROR_MORE_DATA}};
    for (const Row& row : rows) {
        BYTE buffer[16];
        std::memset(buffer, 0xbd, sizeof buffer);
        size = row.bufferSize;
        SetLastError(kSentinel);
        EXPECT_EQ(RegQueryValueExW(key, u"W", nullptr, nullptr, buffer, &size), row.expected);
        EXPECT_EQ(GetLastError(), kSentinel);
        EXPECT_EQ(size, 8u) << "the size needed is reported either way";
        if (row.expected == ERROR_SUCCESS) {
            EXPECT_EQ(std::memcmp(buffer, text, 8), 0);
        }
        EXPECT_EQ(buffer[row.bufferSize], 0xbd) << "nothing written past the buffer";
    }

    // The A form reports the size of the converted text.
    char narrow[8];
    std::memset(narrow, 0xbd, sizeof narrow);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "W", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(narrow, "abc");
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "W", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);

    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "W", &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(
        RegQueryValueExA(key, "W", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow), nullptr),
        ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, StringsWithoutTerminator) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\T");
    // The size leaves out the terminator that follows: NT counts it.
    const char terminated[] = "abc";
    ASSERT_EQ(
        RegSetValueExA(key, "Follows", 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated), 3),
        ERROR_SUCCESS);
    const WCHAR wide[] = u"abc";
    ASSERT_EQ(RegSetValueExW(key, u"FollowsW", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide), 6),
              ERROR_SUCCESS);
    // No terminator follows: the data is stored as given.
    const char bare[] = "abcX";
    ASSERT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare), 3),
              ERROR_SUCCESS);

    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"Follows", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    ASSERT_EQ(RegQueryValueExW(key, u"FollowsW", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    ASSERT_EQ(RegQueryValueExW(key, u"Bare", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);

    // Reading it back: a terminator is added when the buffer has room, never past it.
    char buffer[8];
    std::memset(buffer, 0xbd, sizeof buffer);
    size = 3;
    ASSERT_EQ(
        RegQueryValueExA(key, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(static_cast<unsigned char>(buffer[3]), 0xbd);
    size = 4;
    ASSERT_EQ(
        RegQueryValueExA(key, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_NE(HiveText("HKCU.reg").find("\"Bare\"=hex(1):61,00,62,00,63,00\n"), std::string::npos);
    RegCloseKey(key);
}

TEST_F(RegistryTest, AccessIsCheckedOnTheHandle) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\A"));
    HKEY reader = nullptr;
    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_QUERY_VALUE, &reader),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_SET_VALUE, &writer),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(reader, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(writer, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writer, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExA(reader, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    // A subkey is created through a handle opened only to set values, as on Windows.
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyA(writer, "Sub", &sub), ERROR_SUCCESS);
    RegCloseKey(sub);
    RegCloseKey(reader);
    RegCloseKey(writer);
    EXPECT_EQ(RegCloseKey(writer), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ReadOnlyHiveAndRefusedValueRefuseWrites) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\A");
    SetString(key, "One", "1");
    winlayer::RefuseRegistryValueWrites("two");
    EXPECT_EQ(RegSetValueExA(key, "Two", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExW(key, u"TWO", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"2"), 4),
              ERROR_ACCESS_DENIED);
    SetString(key, "Three", "3");
    winlayer::RefuseRegistryValueWrites(nullptr);
    SetString(key, "Two", "2");

    std::string before = HiveText("HKLM.reg");
    std::filesystem::permissions(HivePath("HKLM.reg"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    HKEY other = nullptr;
    EXPECT_EQ(RegSetValueExA(key, "Four", 0, REG_SZ, reinterpret_cast<const BYTE*>("4"), 2),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\B", &other), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_SET_VALUE, &other),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(QueryA(key, "Three"), std::string("3", 2)) << "reading still works";
    EXPECT_EQ(HiveText("HKLM.reg"), before);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteTreeRemovesKeysBelow) {
    HKEY key = Create(HKEY_CLASSES_ROOT, "Scheme\\shell\\open\\command");
    SetString(key, nullptr, "x");
    HKEY scheme = Create(HKEY_CLASSES_ROOT, "Scheme");
    SetString(scheme, "URL Protocol", "");
    EXPECT_EQ(RegDeleteTreeA(scheme, nullptr), ERROR_SUCCESS);
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Scheme", 0, KEY_READ, &probe), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(probe, "URL Protocol", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(probe);
    EXPECT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "Scheme"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "Scheme"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Scheme", 0, KEY_READ, &probe),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    RegCloseKey(scheme);
}

// Writes `count` values named prefix0.. into one key, each its own locked read-modify-write.
void WriteValues(const char* prefix, int count) {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", &key) != ERROR_SUCCESS)
        _exit(2);
    for (int i = 0; i < count; ++i) {
        std::string name = prefix + std::to_string(i);
        if (RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(name.c_str()),
                           static_cast<DWORD>(name.size() + 1)) != ERROR_SUCCESS)
            _exit(3);
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, TwoProcessesWritingTheSameHiveLoseNothing) {
    constexpr int kRounds = 150;
    pid_t children[2];
    const char* prefixes[2] = {"first", "second"};
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            WriteValues(prefixes[c], kRounds);
            _exit(0);
        }
    }
    // Meanwhile every read sees a whole hive.
    int reads = 0;
    for (;;) {
        winlayer::RegistryKey root;
        ASSERT_EQ(winlayer::ReadHive(winlayer::Hive::LocalMachine, &root), ERROR_SUCCESS);
        ++reads;
        int status = 0;
        if (waitpid(children[0], &status, WNOHANG) != 0 &&
            waitpid(children[1], &status, WNOHANG) != 0)
            break;
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    for (const char* prefix : prefixes) {
        for (int i = 0; i < kRounds; ++i) {
            std::string name = prefix + std::to_string(i);
            EXPECT_EQ(QueryA(key, name.c_str()), name + '\0');
        }
    }
    RegCloseKey(key);
    EXPECT_GT(reads, 0);
}

TEST_F(RegistryTest, KilledWriterLeavesAWholeHive) {
    for (int round = 0; round < 5; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            WriteValues("v", 100000);
            _exit(0);
        }
        usleep(20000 + round * 7000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        winlayer::RegistryKey root;
        ASSERT_EQ(winlayer::ReadHive(winlayer::Hive::LocalMachine, &root), ERROR_SUCCESS);
        // A writer killed before its first write leaves no key at all, which is whole too.
        winlayer::RegistryKey* key = root.Find({"SOFTWARE", "Shared"});
        if (key == nullptr)
            continue;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
        // Values are written in order, so what is there is v0 .. v(n-1) without a gap. (GCC 12
        // at -O3 sees a false overlap in the inlined copy of "v" + number: GCC bug 105329.)
        for (size_t i = 0; i < key->values.size(); ++i)
            EXPECT_EQ(key->values[i].name, "v" + std::to_string(i));
#pragma GCC diagnostic pop
    }
}

TEST_F(RegistryTest, TheNextWriteRemovesTemporaryFilesOfKilledWriters) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Litter");
    // What writers killed before their rename leave, and files that only look alike.
    for (const char* name : {"HKLM.reg.a1B2c3", "HKLM.reg.Zz9999"})
        testsupport::WriteFileBytes(HivePath(name), "[half a hive");
    for (const char* name : {"HKLM.reg.old", "HKLM.reg.a1B2c3d", "HKCU.reg.a1B2c3"})
        testsupport::WriteFileBytes(HivePath(name), "kept");
    SetString(key, "v", "1");
    RegCloseKey(key);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(winroot.root() / "registry"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"HKCU.reg.a1B2c3", "HKLM.reg", "HKLM.reg.a1B2c3d",
                                               "HKLM.reg.lock", "HKLM.reg.old"}));
}

}  // namespace
