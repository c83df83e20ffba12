// Creation, description and deletion of GDI objects.
#include "gdi32/gdi_object.h"

#include "common/handle_table.h"

#include <algorithm>
#include <cstring>

namespace winlayer {
namespace {

HandleTable<GdiObject>& Table() {
    static HandleTable<GdiObject> table(0x10000);
    return table;
}

int CopyDescription(const void* description, int fullSize, int size, void* buffer) {
    if (buffer == nullptr)
        return fullSize;
    int count = std::min(size, fullSize);
    if (count <= 0)
        return 0;
    std::memcpy(buffer, description, static_cast<size_t>(count));
    return count;
}

}  // namespace

int BrushObject::Describe(int size, void* buffer) const {
    return CopyDescription(&brush_, sizeof brush_, size, buffer);
}

int FontObject::Describe(int size, void* buffer) const {
    return CopyDescription(&font_, sizeof font_, size, buffer);
}

HGDIOBJ NewGdiObject(std::shared_ptr<GdiObject> object) {
    return reinterpret_cast<HGDIOBJ>(Table().Add(std::move(object)));
}

std::shared_ptr<GdiObject> LookupGdiObject(HGDIOBJ handle) {
    return Table().Find(reinterpret_cast<ULONG_PTR>(handle));
}

}  // namespace winlayer

using namespace winlayer;

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    LOGBRUSH brush{BS_SOLID, color & 0x00FFFFFF, 0};
    return static_cast<HBRUSH>(NewGdiObject(std::make_shared<BrushObject>(brush)));
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

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    return Table().Remove(reinterpret_cast<ULONG_PTR>(object)) ? TRUE : FALSE;
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
