// Creation, description and deletion of GDI objects; the stock objects.
#include "gdi32/gdi_object.h"

#include "common/handle_table.h"

#include <winlayer/gdi.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace winlayer {
namespace {

HandleTable<GdiObject>& Table() {
    static HandleTable<GdiObject> table(0x01000000);  // far from the other tables
    return table;
}

// Objects made by the program (stock objects aside) that are still in the table.
std::atomic<int> liveObjects{0};

int CopyDescription(const void* description, int fullSize, int size, void* buffer) {
    if (buffer == nullptr)
        return fullSize;
    int count = std::min(size, fullSize);
    if (count <= 0)
        return 0;
    std::memcpy(buffer, description, static_cast<size_t>(count));
    return count;
}

HGDIOBJ NewStockObject(std::shared_ptr<GdiObject> object) {
    object->stock = true;
    return NewGdiObject(std::move(object));
}

HGDIOBJ StockBrush(COLORREF color, UINT style = BS_SOLID) {
    return NewStockObject(std::make_shared<BrushObject>(LOGBRUSH{style, color, 0}));
}

HGDIOBJ StockPen(COLORREF color, UINT style = PS_SOLID) {
    return NewStockObject(std::make_shared<PenObject>(LOGPEN{style, {1, 0}, color}));
}

HGDIOBJ StockFont(LONG height, const char16_t* face) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    for (int i = 0; face[i] != 0 && i < LF_FACESIZE - 1; ++i)
        font.lfFaceName[i] = face[i];
    return NewStockObject(std::make_shared<FontObject>(font));
}

struct StockObjects {
    std::array<HGDIOBJ, 20> objects{};
    HGDIOBJ defaultBitmap = nullptr;

    StockObjects() {
        objects[WHITE_BRUSH] = StockBrush(0xFFFFFF);
        objects[LTGRAY_BRUSH] = StockBrush(0xC0C0C0);
        objects[GRAY_BRUSH] = StockBrush(0x808080);
        objects[DKGRAY_BRUSH] = StockBrush(0x404040);
        objects[BLACK_BRUSH] = StockBrush(0x000000);
        objects[NULL_BRUSH] = StockBrush(0, BS_NULL);
        objects[WHITE_PEN] = StockPen(0xFFFFFF);
        objects[BLACK_PEN] = StockPen(0x000000);
        objects[NULL_PEN] = StockPen(0, PS_NULL);
        objects[SYSTEM_FONT] = StockFont(16, u"System");
        objects[DEFAULT_GUI_FONT] = StockFont(-11, u"MS Shell Dlg");
        defaultBitmap = NewStockObject(std::make_shared<BitmapObject>(1, 1, 1, false, true));
    }
};

StockObjects& Stock() {
    static StockObjects stock;
    return stock;
}

}  // namespace

int BrushObject::Describe(int size, void* buffer) const {
    return CopyDescription(&brush_, sizeof brush_, size, buffer);
}

int PenObject::Describe(int size, void* buffer) const {
    return CopyDescription(&pen_, sizeof pen_, size, buffer);
}

int FontObject::Describe(int size, void* buffer) const {
    return CopyDescription(&font_, sizeof font_, size, buffer);
}

HGDIOBJ NewGdiObject(std::shared_ptr<GdiObject> object) {
    if (!object->stock)
        ++liveObjects;
    return reinterpret_cast<HGDIOBJ>(Table().Add(std::move(object)));
}

std::shared_ptr<GdiObject> LookupGdiObject(HGDIOBJ handle) {
    return Table().Find(reinterpret_cast<ULONG_PTR>(handle));
}

bool RemoveGdiObject(HGDIOBJ handle) {
    std::shared_ptr<GdiObject> removed = Table().Remove(reinterpret_cast<ULONG_PTR>(handle));
    if (!removed)
        return false;
    if (!removed->stock)
        --liveObjects;
    return true;
}

HGDIOBJ DefaultBitmap() {
    return Stock().defaultBitmap;
}

namespace testing {

int GdiObjectCount() {
    return liveObjects.load();
}

}  // namespace testing
}  // namespace winlayer

using namespace winlayer;

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    LOGBRUSH brush{BS_SOLID, color & 0x00FFFFFF, 0};
    return static_cast<HBRUSH>(NewGdiObject(std::make_shared<BrushObject>(brush)));
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    if (style != PS_SOLID && style != PS_DASH && style != PS_DOT && style != PS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGPEN pen{static_cast<UINT>(style), {width < 0 ? 0 : width, 0}, color & 0x00FFFFFF};
    return static_cast<HPEN>(NewGdiObject(std::make_shared<PenObject>(pen)));
}

HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCWSTR faceName) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfEscapement = escapement;
    font.lfOrientation = orientation;
    font.lfWeight = weight;
    font.lfItalic = static_cast<BYTE>(italic);
    font.lfUnderline = static_cast<BYTE>(underline);
    font.lfStrikeOut = static_cast<BYTE>(strikeOut);
    font.lfCharSet = static_cast<BYTE>(charSet);
    font.lfOutPrecision = static_cast<BYTE>(outPrecision);
    font.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    font.lfQuality = static_cast<BYTE>(quality);
    font.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    // The face name keeps at most LF_FACESIZE - 1 characters and its NUL.
    for (int i = 0; faceName != nullptr && i < LF_FACESIZE - 1 && faceName[i] != 0; ++i)
        font.lfFaceName[i] = faceName[i];
    return static_cast<HFONT>(NewGdiObject(std::make_shared<FontObject>(font)));
}

HGDIOBJ WINAPI GetStockObject(int index) {
    StockObjects& stock = Stock();
    if (index < 0 || index >= static_cast<int>(stock.objects.size()))
        return nullptr;
    return stock.objects[index];
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    std::shared_ptr<GdiObject> found = LookupGdiObject(object);
    if (!found)
        return FALSE;
    if (found->stock)
        return TRUE;
    // Device contexts go with DeleteDC; a selected object stays until it is selected out.
    if (found->Type() == OBJ_DC || found->Type() == OBJ_MEMDC || found->selections > 0)
        return FALSE;
    return RemoveGdiObject(object) ? TRUE : FALSE;
}

int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
    std::shared_ptr<GdiObject> found = LookupGdiObject(object);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return found->Describe(size, buffer);
}

DWORD WINAPI GetObjectType(HGDIOBJ object) {
    std::shared_ptr<GdiObject> found = LookupGdiObject(object);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return found->Type();
}
