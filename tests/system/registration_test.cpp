#include "system/registration.h"

#include <windows.h>

#include <winlayer/registry.h>
#include <winlayer/system_info.h>

#include "core/install_log.h"
#include "core/settings.h"
#include "scoped_env.h"
#include "reports.h"
#include "winroot.h"

#include <cstring>
#include <optional>
#include <string>

namespace {

const char kEntryKey[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brivostel_471203v9.5";
const char kPlainEntryKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brivostel_471203v9.5";
const char kFolder[] = "C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5";
const char kBrokerNameGbk[] = "\xbf\xad\xc4\xac(\xcf\xe3\xb8\xdb)";  // 凯默(香港)

struct Value {
    DWORD type;
    std::string bytes;
};

std::optional<Value> Query(HKEY root, const std::string& key, const char* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    BYTE buffer[2048];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    std::u16string wideName = name ? std::u16string(name, name + std::strlen(name)) : u"";
    LONG error = RegQueryValueExW(opened, wideName.c_str(), nullptr, &type, buffer, &size);
    RegCloseKey(opened);
    if (error != ERROR_SUCCESS)
        return std::nullopt;
    return Value{type, std::string(reinterpret_cast<char*>(buffer), size)};
}

// The stored bytes of a REG_SZ holding `text` with its terminator.
std::string Utf16(std::u16string text) {
    text.push_back(u'\0');
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

class RegistrationTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override {
        env.Set("WINLAYER_USER", "admin").Set("WINLAYER_CONSOLE_USER", "user1");
        InstallerSettings& settings = GetInstallerSettings();
        settings.brokerCode = "471203";
        settings.brokerName = kBrokerNameGbk;
        settings.installFolder = kFolder;
        settings.installedVersion = "9.5.7.1";
        ASSERT_TRUE(OpenInstallLog("C:\\install.log", "wb"));
    }
    void TearDown() override {
        CloseInstallLog();
        winlayer::RefuseRegistryValueWrites(nullptr);
        winlayer::SetMachineForTesting(nullptr);
        winlayer::HideKernel32ExportForTesting(nullptr);
    }
    // The texts of the log lines written so far, without time stamps.
    std::vector<std::string> LogTexts() {
        CloseInstallLog();
        return testsupport::InstallLogTexts(
            testsupport::ReadFileBytes(winroot.driveC() / "install.log"));
    }
    size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
            ++n;
        return n;
    }
    void ExpectEveryValue(const std::string& version) {
        std::string key = kEntryKey;
        std::string exe = std::string(kFolder) + "\\brivostel v9.5.exe";
        struct Row {
            HKEY root;
            std::string key;
            const char* name;
            std::string bytes;
        } rows[] = {
            {HKEY_LOCAL_MACHINE, key, "DisplayName", Utf16(u"\u51ef\u9ed8(\u9999\u6e2f)v9.5")},
            {HKEY_LOCAL_MACHINE, key, "UninstallString",
             Utf16(u"C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5\\uninstall.exe")},
            {HKEY_LOCAL_MACHINE, key, "DisplayIcon",
             Utf16(u"C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5\\brivostel v9.5.exe")},
            {HKEY_LOCAL_MACHINE, key, "DisplayVersion",
             version.empty() ? std::string()
                             : Utf16(std::u16string(version.begin(), version.end()))},
            {HKEY_LOCAL_MACHINE, key, "Publisher", Utf16(u"Tavrin Information")},
            {HKEY_LOCAL_MACHINE, key, "Shortcut",
             Utf16(u"C:\\Users\\user1\\desktop\\\u51ef\u9ed8(\u9999\u6e2f)v9.5.lnk")},
            {HKEY_CLASSES_ROOT, "BRivostel471203", "URL Protocol",
             Utf16(u"C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5\\brivostel v9.5.exe")},
            {HKEY_CLASSES_ROOT, "BRivostel471203", nullptr, Utf16(u"BrivostelProtocol")},
            {HKEY_CLASSES_ROOT, "BRivostel471203\\DefaultIcon", nullptr,
             Utf16(u"C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5\\brivostel v9.5.exe,1")},
            {HKEY_CLASSES_ROOT, "BRivostel471203\\shell\\open\\command", nullptr,
             Utf16(u"C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5\\brivostel v9.5.exe")},
        };
        for (const Row& row : rows) {
            std::optional<Value> value = Query(row.root, row.key, row.name);
            ASSERT_TRUE(value.has_value()) << row.key << " " << (row.name ? row.name : "@");
            EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << row.name;
            EXPECT_EQ(value->bytes, row.bytes) << (row.name ? row.name : row.key.c_str());
        }
    }

    testsupport::ScopedEnv env;
};

TEST_F(RegistrationTest, FreshRootGetsEveryValueAndLogsOnlyTheScheme) {
    RegisterUninstallEntry();
    RegisterUrlProtocol();
    ExpectEveryValue("9.5.7.1");
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"URL Schemes: Start", "URL Schemes: Finish"}));
    // Values appear in the order they were written.
    std::string hklm = testsupport::ReadFileBytes(winroot.root() / "registry/HKLM.reg");
    size_t last = 0;
    for (const char* name : {"DisplayName", "UninstallString", "DisplayIcon", "DisplayVersion",
                             "Publisher", "Shortcut"}) {
        size_t at = hklm.find(std::string("\"") + name + "\"=");
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    EXPECT_NE(testsupport::ReadFileBytes(winroot.root() / "registry/HKCR.reg")
                  .find("[HKEY_CLASSES_ROOT\\BRivostel471203\\shell\\open]"),
              std::string::npos);
}

TEST_F(RegistrationTest, SecondRegistrationOverwritesTheSameKeys) {
    GetInstallerSettings().installedVersion = "9.5.6.0";
    RegisterUninstallEntry();
    RegisterUrlProtocol();
    GetInstallerSettings().installedVersion = "9.5.7.1";
    RegisterUninstallEntry();
    RegisterUrlProtocol();
    ExpectEveryValue("9.5.7.1");
    std::string hklm = testsupport::ReadFileBytes(winroot.root() / "registry/HKLM.reg");
    std::string hkcr = testsupport::ReadFileBytes(winroot.root() / "registry/HKCR.reg");
    EXPECT_EQ(Count(hklm, "Brivostel_471203v9.5]"), 1u) << hklm;
    EXPECT_EQ(Count(hklm, "\"DisplayVersion\"="), 1u) << hklm;
    EXPECT_EQ(Count(hkcr, "[HKEY_CLASSES_ROOT\\BRivostel471203]"), 1u) << hkcr;
    EXPECT_EQ(Count(hkcr, "\"URL Protocol\"="), 1u) << hkcr;
}

TEST_F(RegistrationTest, EmptyInstalledVersionIsWrittenAsEmptyText) {
    GetInstallerSettings().installedVersion.clear();
    RegisterUninstallEntry();
    RegisterUrlProtocol();
    ExpectEveryValue("");
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"URL Schemes: Start", "URL Schemes: Finish"}));
}

TEST_F(RegistrationTest, RefusedDisplayIconStopsTheEntryThere) {
    winlayer::RefuseRegistryValueWrites("DisplayIcon");
    RegisterUninstallEntry();
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"DisplayIcon Setvalue Failed"});
    EXPECT_TRUE(Query(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayName").has_value());
    EXPECT_TRUE(Query(HKEY_LOCAL_MACHINE, kEntryKey, "UninstallString").has_value());
    for (const char* name : {"DisplayIcon", "DisplayVersion", "Publisher", "Shortcut"})
        EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, kEntryKey, name).has_value()) << name;
}

TEST_F(RegistrationTest, ArchitectureChoosesTheUninstallKey) {
    struct Row {
        const char* machine;
        bool hideExport;
        const char* key;
    } rows[] = {
        {"x86_64", false, kEntryKey},       {"ia64", false, kEntryKey},
        {"aarch64", false, kPlainEntryKey}, {"i686", false, kPlainEntryKey},
        {"x86_64", true, kPlainEntryKey},
    };
    for (const Row& row : rows) {
        winlayer::SetMachineForTesting(row.machine);
        winlayer::HideKernel32ExportForTesting(row.hideExport ? "GetNativeSystemInfo" : nullptr);
        // The parent keys exist on Windows; here the registry starts empty.
        for (const char* parent : {"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion",
                                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"}) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE,
                                    (std::string(parent) + "\\Uninstall").c_str(), &key),
                      ERROR_SUCCESS);
            RegCloseKey(key);
        }
        RegisterUninstallEntry();
        EXPECT_TRUE(Query(HKEY_LOCAL_MACHINE, row.key, "DisplayName").has_value()) << row.machine;
        const char* other = row.key == kEntryKey ? kPlainEntryKey : kEntryKey;
        EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, other, "DisplayName").has_value()) << row.machine;
        ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_SUCCESS);
    }
}

TEST_F(RegistrationTest, ShortcutValueNamesTheConsoleUsersDesktop) {
    env.Set("WINLAYER_USER", "admin").Set("WINLAYER_CONSOLE_USER", "trader");
    RegisterUninstallEntry();
    std::optional<Value> value = Query(HKEY_LOCAL_MACHINE, kEntryKey, "Shortcut");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->bytes,
              Utf16(u"C:\\Users\\trader\\desktop\\\u51ef\u9ed8(\u9999\u6e2f)v9.5.lnk"));
}

TEST_F(RegistrationTest, ReadOnlyHivesAreLoggedAndLeftUnchanged) {
    for (const char* file : {"HKLM.reg", "HKCR.reg"}) {
        testsupport::WriteFileBytes(winroot.root() / "registry" / file,
                                    "Windows Registry Editor Version 5.00\n");
        std::filesystem::permissions(winroot.root() / "registry" / file,
                                     std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
    }
    RegisterUninstallEntry();
    RegisterUrlProtocol();
    EXPECT_EQ(LogTexts(),
              (std::vector<std::string>{"Local_Machine open Failed", "URL Schemes: Start",
                                        "URL Schemes: Create url key Failed"}));
}

TEST_F(RegistrationTest, PathsLongerThanTheBuffersAreNotWrittenCutShort) {
    // 1010 characters: the uninstaller path (1024 with its terminator) no longer fits 1024 bytes.
    GetInstallerSettings().installFolder = "C:\\" + std::string(1007, 'f');
    RegisterUninstallEntry();
    RegisterUrlProtocol();
    EXPECT_EQ(LogTexts(),
              (std::vector<std::string>{"UninstallString Setvalue Failed", "URL Schemes: Start",
                                        "URL Schemes: URL Protocol Setvalue Failed"}));
    EXPECT_TRUE(Query(HKEY_LOCAL_MACHINE, kEntryKey, "DisplayName").has_value());
    EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, kEntryKey, "UninstallString").has_value());
    EXPECT_FALSE(Query(HKEY_CLASSES_ROOT, "BRivostel471203", "URL Protocol").has_value());
}

}  // namespace
