// Pictures of the dialog's texts in its three fonts and three languages, saved as PNG under the
// build folder (test-output/) for a person to look at.
#include <windows.h>
#include <winlayer/gdi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Language {
    const char* name;
    std::u16string_view button, open, status, failed, banner;
};

const Language kLanguages[] = {
    {"zh-CN", u"安装", u"打开", u"下载配置文件", u"下载配置文件失败", u"安装中，请稍后..."},
    {"zh-TW", u"安裝", u"打開", u"下載配置文件", u"下載配置文件失敗", u"安裝中，請稍後..."},
    {"en", u"Install", u"Open", u"Download configuration file", u"Download configuration file Fail",
     u"Installing, please wait..."},
};

HFONT DialogFont(int height) {
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH,
                       u"Microsoft Yahei");
}

void Fill(HDC dc, RECT rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void Text(HDC dc, HFONT font, COLORREF color, std::u16string_view text, RECT rect, UINT format) {
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, color);
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect, format);
    SelectObject(dc, old);
    EXPECT_EQ(winlayer::testing::MissingGlyphs(font, text), 0);
}

TEST(TextPictures, TheDialogTextsInEveryLanguage) {
    std::filesystem::path folder = TEST_OUTPUT_DIR;
    std::filesystem::create_directories(folder);
    HFONT caption = DialogFont(20), button = DialogFont(22), banner = DialogFont(27);
    for (const Language& language : kLanguages) {
        SCOPED_TRACE(language.name);
        HDC dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 500, -310, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP picture = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, picture);
        SetBkMode(dc, TRANSPARENT);
        // The red upper part and the white band of the installing picture.
        Fill(dc, {0, 0, 500, 216}, 0x2D42DA);
        Fill(dc, {0, 216, 500, 310}, 0xFFFFFF);
        Text(dc, banner, 0xE7E7E7, u"471203", {200, 30, 300, 66},
             DT_NOPREFIX | DT_SINGLELINE | DT_BOTTOM | DT_CENTER);
        Text(dc, banner, 0xFFFFFF, language.banner, {181, 96, 461, 123},
             DT_SINGLELINE | DT_VCENTER);
        // The two buttons.
        for (auto [label, left] : {std::pair{language.button, 90}, {language.open, 310}}) {
            HPEN pen = CreatePen(PS_SOLID, 1, 0x4140D9);
            HBRUSH fill = CreateSolidBrush(0x1015A5);
            HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, fill);
            RoundRect(dc, left, 140, left + 100, 176, 5, 5);
            SelectObject(dc, oldPen);
            SelectObject(dc, oldBrush);
            DeleteObject(pen);
            DeleteObject(fill);
            Text(dc, button, 0xE7E7E7, label, {left, 139, left + 100, 175},
                 DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        }
        // The status line: step and percentage, then the failure text.
        Text(dc, caption, 0x000000, u"57%", {32, 224, 466, 244},
             DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        Text(dc, caption, 0x000000, language.status, {32, 224, 466, 244},
             DT_SINGLELINE | DT_VCENTER);
        Text(dc, caption, 0x000000, language.failed, {32, 254, 466, 274}, DT_BOTTOM | DT_RIGHT);
        std::string file = (folder / ("texts-" + std::string(language.name) + ".png")).string();
        EXPECT_TRUE(winlayer::testing::SaveBitmapPng(picture, file)) << file;
        SelectObject(dc, old);
        DeleteObject(picture);
        DeleteDC(dc);
    }
    DeleteObject(caption);
    DeleteObject(button);
    DeleteObject(banner);
}

}  // namespace
