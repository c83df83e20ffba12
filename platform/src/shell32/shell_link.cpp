// The shell link object: IShellLinkW to describe the shortcut, IPersistFile to save it as a .lnk
// file.
#include "shell32/shell_link.h"

#include "common/atomic_file.h"
#include "kernel32/codepage.h"
#include "kernel32/file_object.h"
#include "kernel32/filetime.h"
#include "kernel32/paths.h"
#include "shell32/shell_link_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

namespace winlayer {
namespace {

const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Copies a text into a caller's buffer of `size` characters, cut and terminated.
HRESULT CopyOut(const std::u16string& text, LPWSTR buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return E_INVALIDARG;
    size_t count = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), count * sizeof(WCHAR));
    buffer[count] = 0;
    return S_OK;
}

std::u16string TextOf(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

HRESULT HresultFromErrno(int error, const std::string& unixPath) {
    return HRESULT_FROM_WIN32(ErrorFromErrno(error, unixPath));
}

// Writes the bytes to a temporary file beside `unixPath` and renames it over the path, so that
// an existing shortcut is replaced whole or not at all.
HRESULT WriteFileAtomically(const std::string& unixPath, const std::string& bytes) {
    struct stat st;
    if (stat(unixPath.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode)))
        return E_ACCESSDENIED;
    int error = ReplaceFileAtomically(unixPath, bytes);
    if (error != 0)
        return HresultFromErrno(error, unixPath);
    return S_OK;
}

class ShellLink final : public IShellLinkW, public IPersistFile {
  public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IShellLinkW) {
            *object = static_cast<IShellLinkW*>(this);
        } else if (riid == IID_IPersistFile || riid == IID_IPersist) {
            *object = static_cast<IPersistFile*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    // IShellLinkW
    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int size, void*, DWORD) override {
        std::lock_guard lock(mutex_);
        HRESULT hr = CopyOut(content_.target, file, size);
        return SUCCEEDED(hr) && content_.target.empty() ? S_FALSE : hr;
    }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int size) override {
        std::lock_guard lock(mutex_);
        return CopyOut(content_.description, name, size);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) override {
        return Set(content_.description, TextOf(name));
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int size) override {
        std::lock_guard lock(mutex_);
        return CopyOut(content_.workingDirectory, dir, size);
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override {
        return Set(content_.workingDirectory, TextOf(dir));
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int size) override {
        std::lock_guard lock(mutex_);
        return CopyOut(content_.arguments, args, size);
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) override {
        return Set(content_.arguments, TextOf(args));
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int size, int* icon) override {
        if (icon == nullptr)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        *icon = content_.iconIndex;
        return CopyOut(content_.iconLocation, iconPath, size);
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int icon) override {
        std::lock_guard lock(mutex_);
        content_.iconIndex = icon;
        content_.iconLocation = TextOf(iconPath);
        dirty_ = true;
        return S_OK;
    }
    // Windows keeps the full form of the path it is given.
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) override {
        if (file == nullptr)
            return E_INVALIDARG;
        DWORD error = 0;
        std::optional<std::string> full = FullWindowsPath(Utf8FromWide(file), &error);
        return Set(content_.target, full && *file ? WideFromUtf8(*full) : std::u16string(file));
    }

    // IPersist, IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override {
        if (classId == nullptr)
            return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override {
        std::lock_guard lock(mutex_);
        return dirty_ ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Load(LPCWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPCWSTR fileName, BOOL) override {
        if (fileName == nullptr)
            return E_INVALIDARG;
        DWORD error = 0;
        std::optional<std::string> unixPath = UnixPathFromWide(fileName, &error);
        if (!unixPath)
            return HRESULT_FROM_WIN32(error);
        ShellLinkContent content;
        {
            std::lock_guard lock(mutex_);
            content = content_;
        }
        DescribeTarget(content);
        HRESULT hr = WriteFileAtomically(*unixPath, FormatShellLink(content));
        if (SUCCEEDED(hr)) {
            std::lock_guard lock(mutex_);
            dirty_ = false;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPWSTR* fileName) override {
        if (fileName != nullptr)
            *fileName = nullptr;
        return E_NOTIMPL;
    }

  private:
    ~ShellLink() = default;

    HRESULT Set(std::u16string& field, std::u16string value) {
        std::lock_guard lock(mutex_);
        field = std::move(value);
        dirty_ = true;
        return S_OK;
    }

    // Records the target's attributes, times and size as the header keeps them.
    static void DescribeTarget(ShellLinkContent& content) {
        DWORD error = 0;
        std::optional<std::string> path = UnixPath(Utf8FromWide(content.target), &error);
        struct stat st;
        if (content.target.empty() || !path || stat(path->c_str(), &st) != 0)
            return;
        content.targetAttributes =
            S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        if (IsReadOnlyMode(st.st_mode))
            content.targetAttributes |= FILE_ATTRIBUTE_READONLY;
        content.creationTime = FileTimeOf(TicksFromTimespec(st.st_mtim));
        content.accessTime = FileTimeOf(TicksFromTimespec(st.st_atim));
        content.writeTime = FileTimeOf(TicksFromTimespec(st.st_mtim));
        content.targetSize = static_cast<DWORD>(st.st_size);
        content.driveSerialNumber = static_cast<DWORD>(st.st_dev);
    }

    std::atomic<ULONG> references_{1};
    std::mutex mutex_;
    ShellLinkContent content_;
    bool dirty_ = false;
};

}  // namespace

HRESULT CreateShellLink(REFIID riid, void** object) {
    auto* link = new ShellLink();
    HRESULT hr = link->QueryInterface(riid, object);
    link->Release();
    return hr;
}

}  // namespace winlayer

const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
