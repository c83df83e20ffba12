#include "system/desktop_shortcut.h"

#include <windows.h>
#include <objbase.h>

#include "core/install_log.h"
#include "core/settings.h"
#include "scoped_env.h"
#include "reports.h"
#include "winroot.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kFolder[] = "C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5";
const char kBrokerNameGbk[] = "\xbf\xad\xc4\xac(\xcf\xe3\xb8\xdb)";  // 凯默(香港)
const char kBrokerNameUtf8[] = "\xe5\x87\xaf\xe9\xbb\x98(\xe9\xa6\x99\xe6\xb8\xaf)";

using testsupport::LnkInfo;

class DesktopShortcutTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override {
        env.Set("WINLAYER_USER", "admin");
        InstallerSettings& settings = GetInstallerSettings();
        settings.brokerCode = "471203";
        settings.brokerName = kBrokerNameGbk;
        settings.installFolder = kFolder;
        ASSERT_TRUE(OpenInstallLog("C:\\install.log", "wb"));
    }
    void TearDown() override { CloseInstallLog(); }
    std::filesystem::path Desktop() const { return winroot.driveC() / "Users/Public/Desktop"; }
    std::filesystem::path ShortcutFile() const {
        return Desktop() / (std::string(kBrokerNameUtf8) + "v9.5.lnk");
    }
    std::filesystem::path IconFile() const {
        return winroot.driveC() /
               "Users/user1/AppData/Local/BRivostel471203v9.5/Server/config/shortcut/"
               "shortcut471203.ico";
    }
    std::vector<std::string> LogTexts() {
        CloseInstallLog();
        return testsupport::InstallLogTexts(
            testsupport::ReadFileBytes(winroot.driveC() / "install.log"));
    }

    testsupport::ScopedEnv env;
};

std::vector<std::string> ExpectedLog(int coInitialize, const char* saveResult = "0") {
    return {
        std::string("C:\\Users\\Public\\Desktop\\") + kBrokerNameGbk + "v9.5.lnk",
        std::string(kFolder) + "\\brivostel v9.5.exe",
        kFolder,
        "CoInitialize : " + std::to_string(coInitialize),
        "CoCreateInstance : 0",
        "IShellLink::SetPath : 0",
        "IShellLink::SetWorkingDirectory : 0",
        "IShellLink::QueryInterface : 0",
        std::string("IPersistFile::Save : ") + saveResult,
    };
}

TEST_F(DesktopShortcutTest, ShortcutCarriesTargetFolderAndIcon) {
    testsupport::WriteFileBytes(IconFile(), "icon");
    EXPECT_TRUE(CreateDesktopShortcut());
    EXPECT_EQ(LogTexts(), ExpectedLog(0));
    std::string report = LnkInfo(ShortcutFile());
    EXPECT_EQ(testsupport::LnkInfoField(report, "Local path"),
              std::string(kFolder) + "\\brivostel v9.5.exe")
        << report;
    EXPECT_EQ(testsupport::LnkInfoField(report, "Working directory"), kFolder) << report;
    EXPECT_EQ(testsupport::LnkInfoField(report, "Icon location"),
              std::string(kFolder) + "\\Server\\config\\shortcut\\shortcut471203.ico")
        << report;
    EXPECT_EQ(testsupport::LnkInfoField(report, "Icon index"), "0") << report;
}

TEST_F(DesktopShortcutTest, WithoutIconFileTheShortcutKeepsTheTargetsIcon) {
    EXPECT_TRUE(CreateDesktopShortcut());
    std::string report = LnkInfo(ShortcutFile());
    EXPECT_EQ(testsupport::LnkInfoField(report, "Local path"),
              std::string(kFolder) + "\\brivostel v9.5.exe")
        << report;
    EXPECT_EQ(testsupport::LnkInfoField(report, "Icon location"), std::nullopt) << report;
}

TEST_F(DesktopShortcutTest, SecondInitialisationIsLoggedAsOne) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_TRUE(CreateDesktopShortcut());
    EXPECT_EQ(LogTexts(), ExpectedLog(1));
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE) << "the caller's initialisation is still open";
    CoUninitialize();
    CoUninitialize();
}

TEST_F(DesktopShortcutTest, RunningTwiceReplacesTheShortcut) {
    EXPECT_TRUE(CreateDesktopShortcut());
    testsupport::WriteFileBytes(IconFile(), "icon");
    EXPECT_TRUE(CreateDesktopShortcut());
    EXPECT_TRUE(testsupport::LnkInfoField(LnkInfo(ShortcutFile()), "Icon location").has_value());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Desktop()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(DesktopShortcutTest, SaveFailureIsLoggedWithItsResult) {
    std::filesystem::remove_all(Desktop());
    EXPECT_TRUE(CreateDesktopShortcut());
    // HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) as a signed decimal.
    EXPECT_EQ(LogTexts(), ExpectedLog(0, "-2147024893"));
}

TEST_F(DesktopShortcutTest, PathsThatDoNotFitFailWithoutTouchingCom) {
    GetInstallerSettings().installFolder = "C:\\" + std::string(1030, 'f');
    EXPECT_FALSE(CreateDesktopShortcut());
    std::vector<std::string> log = LogTexts();
    ASSERT_EQ(log.size(), 1u) << "only the shortcut path is logged";
    EXPECT_EQ(CoInitialize(nullptr), S_OK) << "COM was left as it was";
    CoUninitialize();
}

}  // namespace
