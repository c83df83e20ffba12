// The sample client that the sample release ships as "brivostel v9.5.exe" (and as its
// uninstaller): a Windows program of ours that records how it was started, so that tests can
// check what the installer launched, and then stays running until it is ended.
//
//   brivostel v9.5.exe [hold FILE] [arguments...]
//
// The record goes to the file named by BRIVOSTEL_CLIENT_RECORD, else to "started.txt" in the
// current folder, written whole (a temporary file, then a rename): lines "pid=", "image=",
// "cwd=", "version=" (update.ini beside the program, "version"/"cur"), "path=" (the search
// path it inherited, when set), "argc=" and "argv[i]=". "hold FILE" keeps FILE open without delete
// sharing while the program runs. It shows a small window naming its version, and ends when that is
// closed or after two minutes.
#include <windows.h>
#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kLifetimeMs = 120000;  // ends by itself should nobody end it

// The inherited "Path"; null when the variable is not set.
std::optional<std::string> SearchPath() {
    std::vector<char> value(32768);
    DWORD length = GetEnvironmentVariableA("Path", value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
    if (length >= value.size()) {
        value.resize(length);
        length = GetEnvironmentVariableA("Path", value.data(), length);
    }
    return std::string(value.data(), length);
}

std::string ImagePath() {
    WCHAR wide[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wide, MAX_PATH);
    char narrow[MAX_PATH * 2] = {};
    WideCharToMultiByte(936, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

std::string FolderOf(const std::string& path) {
    std::string::size_type separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string InstalledVersion(const std::string& image) {
    char version[21] = {};
    const std::string manifest = FolderOf(image) + "\\update.ini";
    GetPrivateProfileStringA("version", "cur", "", version, sizeof version, manifest.c_str());
    return version;
}

void WriteRecord(const std::string& text) {
    char* named = nullptr;
    size_t size = 0;
    std::string record = "started.txt";
    if (_dupenv_s(&named, &size, "BRIVOSTEL_CLIENT_RECORD") == 0 && named && *named)
        record = named;
    std::free(named);
    const std::string temporary = record + ".part" + std::to_string(GetCurrentProcessId());
    FILE* file = nullptr;
    if (fopen_s(&file, temporary.c_str(), "wb") != 0)
        return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    DeleteFileA(record.c_str());
    rename(temporary.c_str(), record.c_str());
}

WCHAR windowText[128] = TEXT("brivostel v9.5");

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(window, &paint);
            RECT client{};
            GetClientRect(window, &client);
            HBRUSH background = CreateSolidBrush(RGB(255, 255, 255));
            FillRect(dc, &client, background);
            DeleteObject(background);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(0, 0, 0));
            DrawTextW(dc, windowText, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

unsigned __stdcall CloseLater(void* window) {
    Sleep(kLifetimeMs);
    PostMessageW(static_cast<HWND>(window), WM_CLOSE, 0, 0);
    return 0;
}

// Shows the window naming the version until it is closed; false when it cannot be made.
bool ShowVersionWindow(const std::string& version) {
    const std::string text = "brivostel v9.5  " + (version.empty() ? "-" : version);
    MultiByteToWideChar(936, 0, text.c_str(), -1, windowText, 128);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = TEXT("BrivostelSampleClient");
    if (RegisterClassExW(&windowClass) == 0)
        return false;
    HWND window = CreateWindowExW(0, TEXT("BrivostelSampleClient"), windowText,
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  320, 120, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr)
        return false;
    uintptr_t closer = _beginthreadex(nullptr, 0, CloseLater, window, 0, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (closer != 0)
        CloseHandle(reinterpret_cast<HANDLE>(closer));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string image = ImagePath();
    char folder[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    std::string text = "pid=" + std::to_string(GetCurrentProcessId()) + "\n";
    text += "image=" + image + "\n";
    text += "cwd=" + std::string(folder) + "\n";
    text += "version=" + InstalledVersion(image) + "\n";
    if (std::optional<std::string> path = SearchPath())
        text += "path=" + *path + "\n";
    text += "argc=" + std::to_string(argc) + "\n";
    for (int i = 0; i < argc; ++i)
        text += "argv[" + std::to_string(i) + "]=" + argv[i] + "\n";

    HANDLE held = INVALID_HANDLE_VALUE;
    if (argc >= 3 && std::string(argv[1]) == "hold")
        held = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    WriteRecord(text);
    if (!ShowVersionWindow(InstalledVersion(image)))
        Sleep(kLifetimeMs);
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    return 0;
}
