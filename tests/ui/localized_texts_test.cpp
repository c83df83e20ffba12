#include <windows.h>

#include "core/settings.h"
#include "ui/localized_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class LocalizedTextsTest : public ::testing::Test {
  protected:
    void TearDown() override { GetInstallerSettings().uiLanguage = 0; }
    static void Use(int language) { GetInstallerSettings().uiLanguage = language; }
};

TEST_F(LocalizedTextsTest, LanguageRuleChoosesTheTable) {
    struct Row {
        int uiLanguage;
        const char16_t* installButton;  // UiText(0)
        const char16_t* step3;          // StepText(3)
    } rows[] = {
        {1033, u"Install", u"Download configuration file"},
        {1028, u"\u5B89\u88DD", u"\u4E0B\u8F09\u914D\u7F6E\u6587\u4EF6"},
        {2052, u"\u5B89\u88C5", u"\u4E0B\u8F7D\u914D\u7F6E\u6587\u4EF6"},
        {1041, u"\u5B89\u88C5", u"\u4E0B\u8F7D\u914D\u7F6E\u6587\u4EF6"},
        {2057, u"\u5B89\u88C5", u"\u4E0B\u8F7D\u914D\u7F6E\u6587\u4EF6"},
        {0, u"\u5B89\u88C5", u"\u4E0B\u8F7D\u914D\u7F6E\u6587\u4EF6"},
    };
    for (const Row& row : rows) {
        Use(row.uiLanguage);
        EXPECT_EQ(std::u16string(UiText(0)), row.installButton) << row.uiLanguage;
        EXPECT_EQ(std::u16string(StepText(3)), row.step3) << row.uiLanguage;
    }
}

TEST_F(LocalizedTextsTest, FailureTextsJoinAsTheDialogShowsThem) {
    Use(1033);
    EXPECT_EQ(std::u16string(StepText(3)) + UiText(6), u"Download configuration file Fail");
    EXPECT_EQ(std::u16string(UiText(6)).size(), 5u);
    EXPECT_EQ(std::u16string(StepText(13)), u"Delete backup files");
    EXPECT_EQ(std::u16string(StepText(10)), u"Install Quant Runtime Library");
    // The replacement of the installation folder has a step text of its own for its failure.
    EXPECT_EQ(std::u16string(StepText(14)) + UiText(6), u"Move new version into place Fail");
    Use(2052);
    EXPECT_EQ(std::u16string(StepText(14)) + UiText(6),
              u"\u590D\u5236\u65B0\u7248\u672C\u6570\u636E\u5230\u539F\u76EE\u5F55\u5931\u8D25");
    EXPECT_EQ(std::u16string(StepText(3)) + UiText(6),
              u"\u4E0B\u8F7D\u914D\u7F6E\u6587\u4EF6\u5931\u8D25");
    EXPECT_EQ(std::u16string(UiText(10)), u"\u5B89\u88C5\u4E2D\uFF0C\u8BF7\u7A0D\u540E...");
}

TEST_F(LocalizedTextsTest, EveryEntryIsTerminatedWithinItsRecordAndTablesAreFull) {
    for (int language = 0; language < 3; ++language) {
        for (int i = 0; i < kStepTextCount + kUiTextCount; ++i) {
            const WCHAR* entry =
                i < kStepTextCount ? StepTexts[language][i] : UiTexts[language][i - kStepTextCount];
            std::u16string_view record(entry, kLocalizedTextSize);
            size_t end = record.find(u'\0');
            ASSERT_NE(end, std::u16string_view::npos) << language << "/" << i;
            EXPECT_GT(end, 0u) << "no entry is empty: " << language << "/" << i;
            EXPECT_EQ(record.find_first_not_of(u'\0', end), std::u16string_view::npos);
        }
    }
    EXPECT_EQ(std::u16string(UiTexts[0][3]), UiTexts[0][5]);
}

TEST_F(LocalizedTextsTest, LanguageIsReadAtEveryCall) {
    Use(1033);
    const WCHAR* english = StepText(1);
    Use(1028);
    const WCHAR* traditional = StepText(1);
    EXPECT_EQ(std::u16string(english), u"Download front-end dependency library");
    EXPECT_EQ(std::u16string(traditional), u"\u4E0B\u8F09\u524D\u7AEF\u4F9D\u8CF4\u5EAB");
    EXPECT_EQ(std::u16string(english), u"Download front-end dependency library")
        << "earlier pointers stay valid";
}

TEST_F(LocalizedTextsTest, IndicesOutsideTheTablesGiveEmptyTexts) {
    for (int index : {-1, kStepTextCount, 1000})
        EXPECT_EQ(std::u16string(StepText(index)), u"") << index;
    for (int index : {-1, kUiTextCount})
        EXPECT_EQ(std::u16string(UiText(index)), u"") << index;
}

}  // namespace
