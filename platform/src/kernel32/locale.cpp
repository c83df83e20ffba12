// The user-interface language, from the POSIX locale of the process.
#include <windows.h>

#include <cstdlib>
#include <string_view>

namespace {

struct LocaleLanguage {
    std::string_view locale;  // language_TERRITORY; the first row of a language is its default
    LANGID language;
};

constexpr LocaleLanguage kLanguages[] = {
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081},  {"en_CA", 4105},  {"en_NZ", 5129},
    {"en_IE", 6153}, {"en_ZA", 7177}, {"en_IN", 16393}, {"en_SG", 18441}, {"zh_CN", 2052},
    {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh_SG", 4100},  {"zh_MO", 5124},  {"ja_JP", 1041},
    {"ko_KR", 1042}, {"de_DE", 1031}, {"de_CH", 2055},  {"de_AT", 3079},  {"fr_FR", 1036},
    {"fr_BE", 2060}, {"fr_CA", 3084}, {"fr_CH", 4108},  {"es_ES", 3082},  {"es_MX", 2058},
    {"it_IT", 1040}, {"pt_BR", 1046}, {"pt_PT", 2070},  {"ru_RU", 1049},  {"nl_NL", 1043},
    {"sv_SE", 1053}, {"pl_PL", 1045}, {"tr_TR", 1055},  {"ar_SA", 1025},  {"he_IL", 1037},
    {"th_TH", 1054}, {"vi_VN", 1066}, {"id_ID", 1057},  {"cs_CZ", 1029},  {"da_DK", 1030},
    {"fi_FI", 1035}, {"nb_NO", 1044}, {"el_GR", 1032},  {"hu_HU", 1038},  {"uk_UA", 1058},
};

constexpr LANGID kEnglishUnitedStates = 1033;

}  // namespace

LANGID WINAPI GetUserDefaultUILanguage() {
    std::string_view locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    // "zh_TW.UTF-8@variant" names zh_TW; C, POSIX and unknown locales are US English.
    locale = locale.substr(0, locale.find_first_of(".@"));
    for (const LocaleLanguage& row : kLanguages) {
        if (row.locale == locale)
            return row.language;
    }
    std::string_view language = locale.substr(0, locale.find('_'));
    for (const LocaleLanguage& row : kLanguages) {
        if (row.locale.substr(0, row.locale.find('_')) == language)
            return row.language;
    }
    return kEnglishUnitedStates;
}
