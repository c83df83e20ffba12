// Settings and shared drawing objects: the broker and language at start, the folders when the
// dialog opens.
#include "core/settings.h"

#include "system/active_user_folder.h"

#include <shlobj.h>

#include <cstring>

HBRUSH WhiteBrush = nullptr;
HFONT CaptionFont = nullptr;
HFONT ButtonFont = nullptr;
HFONT BannerFont = nullptr;

namespace {

constexpr LANGID kTraditionalChinese = 1028;
constexpr LANGID kHongKongChinese = 3076;
constexpr LANGID kEnglish = 1033;
constexpr UINT kBig5 = 950;

HFONT CreateSharedFont(int height) {
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH,
                       TEXT("Microsoft Yahei"));
}

// String resource `id` in code page 950, cut to 259 bytes without splitting a character: what
// LoadStringA gives where the ANSI code page is Big5. Empty when the string is missing.
void LoadBig5String(UINT id, char (&buffer)[260]) {
    std::memset(buffer, 0, sizeof buffer);
    const WCHAR* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
        return;
    int size = WideCharToMultiByte(kBig5, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return;
    std::string big5(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(kBig5, 0, text, length, big5.data(), size, nullptr, nullptr);
    size_t count = 0;
    while (count < big5.size()) {
        size_t width = static_cast<unsigned char>(big5[count]) >= 0x81 ? 2 : 1;
        if (count + width > sizeof buffer - 1)
            break;
        count += width;
    }
    std::memcpy(buffer, big5.data(), count);
}

// The Traditional Chinese broker name in code page 936: Big5 bytes to UTF-16 (at most 1,024
// characters) to GBK (at most 1,024 bytes), back into the 260-byte buffer. A conversion that
// fails or does not fit leaves an empty text.
void LoadTraditionalBrokerName(char (&name)[260]) {
    LoadBig5String(kBrokerNameTraditionalString, name);
    WCHAR wide[1024] = {};
    char gbk[1024] = {};
    if (MultiByteToWideChar(kBig5, 0, name, -1, wide, 1024) == 0 ||
        WideCharToMultiByte(kNarrowCodePage, 0, wide, -1, gbk, 1024, nullptr, nullptr) == 0) {
        name[0] = '\0';
        return;
    }
    size_t length = strnlen(gbk, sizeof name - 1);
    std::memcpy(name, gbk, length);
    name[length] = '\0';
}

}  // namespace

InstallerSettings& GetInstallerSettings() {
    static InstallerSettings settings;
    return settings;
}

void InitSharedResources() {
    WhiteBrush = CreateSolidBrush(0xFFFFFF);
    CaptionFont = CreateSharedFont(20);
    ButtonFont = CreateSharedFont(22);
    BannerFont = CreateSharedFont(27);

    InstallerSettings& settings = GetInstallerSettings();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    char code[260] = {};
    LoadStringA(instance, kBrokerCodeString, code, sizeof code);
    settings.brokerCode = code;

    LANGID language = GetUserDefaultUILanguage();
    if (language == kHongKongChinese)
        language = kTraditionalChinese;
    settings.uiLanguage = language;

    char name[260] = {};
    if (language == kTraditionalChinese)
        LoadTraditionalBrokerName(name);
    else if (language == kEnglish)
        LoadStringA(instance, kBrokerNameEnglishString, name, sizeof name);
    else
        LoadStringA(instance, kBrokerNameSimplifiedString, name, sizeof name);
    settings.brokerName = name;
}

void InstallerSettings::ComputeFolders() {
    std::string localAppData;
    GetActiveUserFolder(CSIDL_LOCAL_APPDATA, localAppData);
    dependencyFolder = localAppData + "\\" + kDependencyFolderName;

    HINSTANCE instance = GetModuleHandleW(nullptr);
    productFolderName = kProductBaseName;
    char baseName[260] = {};
    if (LoadStringA(instance, kProductBaseNameString, baseName, sizeof baseName) > 0)
        productFolderName = baseName;
    char code[260] = {};
    LoadStringA(instance, kBrokerCodeString, code, sizeof code);
    productFolderName += code;
    productFolderName += kVersionSuffix;

    installFolder = localAppData + "\\" + productFolderName;
    stagingFolder = installFolder + kStagingSuffix;
}
