// Special folders of the shell and its memory allocator. The folders are those of the account
// the process runs as, under C:\Users. Naming a folder never makes it (the standard ones exist
// from the root's first use, kernel32/standard_folders.h); the create flag does.
#include "common/accounts.h"

#include "kernel32/codepage.h"
#include "kernel32/paths.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

namespace winlayer {
namespace {

constexpr GUID kIUnknown = {0x00000000, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIMalloc = {0x00000002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The shell allocator: malloc with the block size kept in front, so GetSize can answer.
class ShellMalloc final : public IMalloc {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = (riid == kIUnknown || riid == kIMalloc) ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    // One allocator lives for the whole process; references are not counted.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    void* STDMETHODCALLTYPE Alloc(SIZE_T size) override {
        auto* block = static_cast<SIZE_T*>(std::malloc(sizeof(max_align_t) + size));
        if (block == nullptr)
            return nullptr;
        *block = size;
        return reinterpret_cast<char*>(block) + sizeof(max_align_t);
    }
    void* STDMETHODCALLTYPE Realloc(void* memory, SIZE_T size) override {
        if (memory == nullptr)
            return Alloc(size);
        void* moved = Alloc(size);
        if (moved == nullptr)
            return nullptr;
        std::memcpy(moved, memory, std::min(size, GetSize(memory)));
        Free(memory);
        return moved;
    }
    void STDMETHODCALLTYPE Free(void* memory) override {
        if (memory != nullptr)
            std::free(static_cast<char*>(memory) - sizeof(max_align_t));
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void* memory) override {
        if (memory == nullptr)
            return static_cast<SIZE_T>(-1);
        return *reinterpret_cast<SIZE_T*>(static_cast<char*>(memory) - sizeof(max_align_t));
    }
    int STDMETHODCALLTYPE DidAlloc(void* memory) override { return memory != nullptr ? -1 : 0; }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

ShellMalloc& Allocator() {
    static ShellMalloc allocator;
    return allocator;
}

// The path (UTF-8, Windows form) of a special folder, or null for one the layer does not know.
std::optional<std::string> SpecialFolderPath(int csidl) {
    const std::string profile = "C:\\Users\\" + ProcessAccountName();
    switch (csidl & ~CSIDL_FLAG_CREATE) {
        case CSIDL_DESKTOP:
        case CSIDL_DESKTOPDIRECTORY:
            return profile + "\\Desktop";
        case CSIDL_COMMON_DESKTOPDIRECTORY:
            return std::string("C:\\Users\\Public\\Desktop");
        case CSIDL_APPDATA:
            return profile + "\\AppData\\Roaming";
        case CSIDL_LOCAL_APPDATA:
            return profile + "\\AppData\\Local";
        case CSIDL_PROFILE:
            return profile;
        case CSIDL_WINDOWS:
            return std::string("C:\\windows");
        case CSIDL_SYSTEM:
            return std::string("C:\\windows\\system32");
        default:
            return std::nullopt;
    }
}

bool CreateFolderTree(const std::string& windowsPath) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> path = UnixPath(windowsPath, &error);
    std::error_code ignored;
    return path && (std::filesystem::create_directories(*path, ignored) ||
                    std::filesystem::is_directory(*path, ignored));
}

// An item list here holds one item: the CSIDL it was made from.
constexpr BYTE kItemTag[4] = {'W', 'L', 'S', 'F'};
struct FolderItem {
    USHORT cb;
    BYTE tag[4];
    std::int32_t csidl;
};

}  // namespace
}  // namespace winlayer

using namespace winlayer;

HRESULT WINAPI SHGetMalloc(LPMALLOC* malloc) {
    if (malloc == nullptr)
        return E_INVALIDARG;
    *malloc = &Allocator();
    return S_OK;
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int folder, PIDLIST_ABSOLUTE* idList) {
    if (idList == nullptr)
        return E_INVALIDARG;
    *idList = nullptr;
    std::optional<std::string> path = SpecialFolderPath(folder);
    if (!path)
        return E_INVALIDARG;
    if ((folder & CSIDL_FLAG_CREATE) && !CreateFolderTree(*path))
        return E_FAIL;
    // The item, then the list's terminating zero-length item.
    void* memory = Allocator().Alloc(sizeof(FolderItem) + sizeof(USHORT));
    if (memory == nullptr)
        return E_OUTOFMEMORY;
    FolderItem item{static_cast<USHORT>(sizeof(FolderItem)), {}, folder & ~CSIDL_FLAG_CREATE};
    std::memcpy(item.tag, kItemTag, sizeof kItemTag);
    std::memcpy(memory, &item, sizeof item);
    std::memset(static_cast<BYTE*>(memory) + sizeof item, 0, sizeof(USHORT));
    *idList = static_cast<PIDLIST_ABSOLUTE>(memory);
    return S_OK;
}

BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE idList, LPSTR path) {
    if (path == nullptr)
        return FALSE;
    path[0] = '\0';
    if (idList == nullptr)
        return FALSE;
    FolderItem item;
    std::memcpy(&item, idList, sizeof item);
    if (item.cb != sizeof(FolderItem) || std::memcmp(item.tag, kItemTag, sizeof kItemTag) != 0)
        return FALSE;
    std::optional<std::string> folder = SpecialFolderPath(item.csidl);
    if (!folder)
        return FALSE;
    std::string ansi = AnsiFromUtf8(*folder);
    if (ansi.size() + 1 > MAX_PATH)
        return FALSE;
    std::memcpy(path, ansi.c_str(), ansi.size() + 1);
    return TRUE;
}

BOOL WINAPI SHGetSpecialFolderPathA(HWND, LPSTR path, int folder, BOOL create) {
    if (path == nullptr)
        return FALSE;
    path[0] = '\0';
    std::optional<std::string> windowsPath = SpecialFolderPath(folder);
    if (!windowsPath)
        return FALSE;
    if ((create || (folder & CSIDL_FLAG_CREATE)) && !CreateFolderTree(*windowsPath))
        return FALSE;
    std::string ansi = AnsiFromUtf8(*windowsPath);
    if (ansi.size() + 1 > MAX_PATH)
        return FALSE;
    std::memcpy(path, ansi.c_str(), ansi.size() + 1);
    return TRUE;
}
