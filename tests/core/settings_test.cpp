#include <windows.h>
#include <winlayer/resources.h>

#include "core/settings.h"

#include "scoped_env.h"
#include "winroot.h"

#include <filesystem>
#include <string>

namespace {

// "凯默(香港)" and "凱默(香港)" in code page 936.
constexpr const char* kSimplifiedName = "\xBF\xAD\xC4\xAC(\xCF\xE3\xB8\xDB)";
constexpr const char* kTraditionalName = "\x84\x50\xC4\xAC(\xCF\xE3\xB8\xDB)";

class SettingsTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override {
        env.Set("WINLAYER_USER", "admin")
            .Set("WINLAYER_CONSOLE_USER", "user1")
            .Set("LC_ALL", nullptr)
            .Set("LC_MESSAGES", nullptr)
            .Set("LANG", "zh_CN.UTF-8");
    }
    void TearDown() override {
        for (HGDIOBJ object : {static_cast<HGDIOBJ>(WhiteBrush), static_cast<HGDIOBJ>(CaptionFont),
                               static_cast<HGDIOBJ>(ButtonFont), static_cast<HGDIOBJ>(BannerFont)})
            DeleteObject(object);
        GetInstallerSettings() = InstallerSettings();
        winlayer::testing::ResetStringResources();
    }
    testsupport::ScopedEnv env;
};

TEST_F(SettingsTest, LanguageChoosesTheBrokerName) {
    struct Row {
        const char* lang;
        int uiLanguage;
        const char* brokerName;
    } rows[] = {
        {"zh_CN.UTF-8", 2052, kSimplifiedName},
        {"zh_TW.UTF-8", 1028, kTraditionalName},
        {"zh_HK.UTF-8", 1028, kTraditionalName},
        {"en_US.UTF-8", 1033, "Kelmorin(HK)"},
        {"en_GB.UTF-8", 2057, kSimplifiedName},
        {"ja_JP.UTF-8", 1041, kSimplifiedName},
        {"C", 1033, "Kelmorin(HK)"},
    };
    for (const Row& row : rows) {
        env.Set("LANG", row.lang);
        InitSharedResources();
        const InstallerSettings& settings = GetInstallerSettings();
        EXPECT_EQ(settings.brokerCode, "471203");
        EXPECT_EQ(settings.uiLanguage, row.uiLanguage) << row.lang;
        EXPECT_EQ(settings.brokerName, row.brokerName) << row.lang;
    }
}

TEST_F(SettingsTest, TraditionalNameGoesThroughBig5AndKeepsItsBuffer) {
    env.Set("LANG", "zh_HK.UTF-8");
    struct Row {
        std::u16string resource;
        std::string brokerName;
    } rows[] = {
        // A character Big5 lacks ("凯", simplified) is replaced on the way.
        {u"\u51EF\u9ED8", "?\xC4\xAC"},
        // 200 characters are cut to the 259 bytes of the buffer: 129 whole characters.
        {std::u16string(200, u'\u51F1'),
         [] {
             std::string s;
             for (int i = 0; i < 129; ++i)
                 s += "\x84\x50";
             return s;
         }()},
        {u"", ""},
    };
    for (const Row& row : rows) {
        winlayer::testing::SetStringResource(105, row.resource);
        InitSharedResources();
        EXPECT_EQ(GetInstallerSettings().brokerName, row.brokerName);
        EXPECT_EQ(GetInstallerSettings().uiLanguage, 1028);
    }
    winlayer::testing::RemoveStringResource(105);
    winlayer::testing::RemoveStringResource(103);
    InitSharedResources();
    EXPECT_EQ(GetInstallerSettings().brokerName, "");
    EXPECT_EQ(GetInstallerSettings().brokerCode, "");
}

TEST_F(SettingsTest, SharedBrushAndFontsHaveTheirParameters) {
    InitSharedResources();
    LOGBRUSH brush{};
    ASSERT_EQ(GetObjectW(WhiteBrush, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbColor, 0xFFFFFFu);
    struct Row {
        HFONT font;
        LONG height;
    } rows[] = {{CaptionFont, 20}, {ButtonFont, 22}, {BannerFont, 27}};
    for (const Row& row : rows) {
        LOGFONTW font{};
        ASSERT_EQ(GetObjectW(row.font, sizeof font, &font), static_cast<int>(sizeof font));
        EXPECT_EQ(font.lfHeight, row.height);
        EXPECT_EQ(font.lfWidth, 0);
        EXPECT_EQ(font.lfWeight, FW_DONTCARE);
        EXPECT_EQ(font.lfItalic | font.lfUnderline | font.lfStrikeOut, 0);
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
        EXPECT_EQ(font.lfOutPrecision, OUT_OUTLINE_PRECIS);
        EXPECT_EQ(font.lfClipPrecision, CLIP_DEFAULT_PRECIS);
        EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
        EXPECT_EQ(font.lfPitchAndFamily, VARIABLE_PITCH);
        EXPECT_EQ(std::u16string(font.lfFaceName), u"Microsoft Yahei");
    }
}

TEST_F(SettingsTest, FoldersAreTheConsoleUsersNotTheProcessAccounts) {
    InitSharedResources();
    InstallerSettings& settings = GetInstallerSettings();
    settings.ComputeFolders();
    EXPECT_EQ(settings.productFolderName, "BRivostel471203v9.5");
    EXPECT_EQ(settings.installFolder, "C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5");
    EXPECT_EQ(settings.stagingFolder, "C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5temp");
    EXPECT_EQ(settings.dependencyFolder,
              "C:\\Users\\user1\\AppData\\Local\\BRivostelDependBaseV9.5");

    // The folders live in the sandbox's drive C.
    for (size_t at = 0; (at = settings.installFolder.find('\\', at + 1)) != std::string::npos;)
        CreateDirectoryA(settings.installFolder.substr(0, at).c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryA(settings.installFolder.c_str(), nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(winroot.driveC() /
                                              "Users/user1/AppData/Local/BRivostel471203v9.5"));
}

TEST_F(SettingsTest, StringResource107ReplacesTheBaseName) {
    struct Row {
        const char16_t* replacement;  // null: no resource 107
        const char* productFolderName;
    } rows[] = {{nullptr, "BRivostel471203v9.5"},
                {u"Acme", "Acme471203v9.5"},
                {u"", "BRivostel471203v9.5"}};
    for (const Row& row : rows) {
        if (row.replacement)
            winlayer::testing::SetStringResource(107, row.replacement);
        GetInstallerSettings().ComputeFolders();
        EXPECT_EQ(GetInstallerSettings().productFolderName, row.productFolderName);
        EXPECT_EQ(
            GetInstallerSettings().stagingFolder,
            std::string("C:\\Users\\user1\\AppData\\Local\\") + row.productFolderName + "temp");
    }
}

TEST_F(SettingsTest, WithoutAConsoleUserTheNameIsLeftOut) {
    env.Set("WINLAYER_CONSOLE_USER", "");
    GetInstallerSettings().ComputeFolders();
    EXPECT_EQ(GetInstallerSettings().installFolder,
              "C:\\Users\\\\AppData\\Local\\BRivostel471203v9.5");
}

}  // namespace
