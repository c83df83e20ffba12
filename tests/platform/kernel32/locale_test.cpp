#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

class LocaleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            if (const char* value = std::getenv(kNames[i]))
                saved_[i] = value;
            unsetenv(kNames[i]);
        }
    }
    void TearDown() override {
        for (int i = 0; i < 3; ++i) {
            if (saved_[i])
                setenv(kNames[i], saved_[i]->c_str(), 1);
            else
                unsetenv(kNames[i]);
        }
    }
    static void Set(const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved_[3];
};

TEST_F(LocaleTest, LanguageComesFromTheFirstLocaleVariableSet) {
    struct Row {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        LANGID expected;
    } rows[] = {
        {nullptr, nullptr, "zh_CN.UTF-8", 2052},
        {nullptr, nullptr, "zh_TW.UTF-8", 1028},
        {nullptr, nullptr, "zh_HK.UTF-8", 3076},
        {nullptr, nullptr, "en_GB.UTF-8", 2057},
        {nullptr, nullptr, "ja_JP.eucJP", 1041},
        {nullptr, nullptr, "en_US", 1033},
        {nullptr, nullptr, "de_DE@euro", 1031},
        {nullptr, nullptr, "zh", 2052},
        {nullptr, nullptr, "C", 1033},
        {nullptr, nullptr, "C.UTF-8", 1033},
        {nullptr, nullptr, "POSIX", 1033},
        {nullptr, nullptr, nullptr, 1033},
        {nullptr, nullptr, "xx_YY", 1033},
        {"ja_JP.UTF-8", "zh_TW.UTF-8", "zh_CN.UTF-8", 1041},
        {"", "zh_TW.UTF-8", "zh_CN.UTF-8", 1028},
        {"", "", "zh_HK.UTF-8", 3076},
        {nullptr, "en_GB.UTF-8", "zh_CN.UTF-8", 2057},
    };
    for (const Row& row : rows) {
        Set("LC_ALL", row.lcAll);
        Set("LC_MESSAGES", row.lcMessages);
        Set("LANG", row.lang);
        EXPECT_EQ(GetUserDefaultUILanguage(), row.expected)
            << (row.lcAll ? row.lcAll : "-") << " " << (row.lcMessages ? row.lcMessages : "-")
            << " " << (row.lang ? row.lang : "-");
    }
}

}  // namespace
