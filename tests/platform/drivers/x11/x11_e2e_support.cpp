#include "x11_e2e_support.h"

#include <cairo.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace e2e {

namespace {

constexpr auto kLimit = std::chrono::seconds(20);  // a hang guard; nothing waits for it to pass
UiWindow* g_window = nullptr;                      // one window per test process

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

CommandResult Run(const std::string& command) {
    CommandResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.out.append(buffer, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!r.out.empty() && r.out.back() == '\n')
        r.out.pop_back();
    return r;
}

CommandResult RunSelf(const std::string& env, const std::string& test) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = 0;
    return Run("env " + env + " E2E_CHILD=1 " + Quote(self) +
               " --gtest_also_run_disabled_tests --gtest_filter=" + test + " 2>&1");
}

CommandResult Xdotool(const std::string& arguments) {
    return Run("timeout 20 xdotool " + arguments);
}

unsigned long FindXWindow(const std::string& title) {
    CommandResult r = Xdotool("search --sync --onlyvisible --name " + Quote("^" + title + "$"));
    if (r.status != 0)
        return 0;
    std::istringstream lines(r.out);
    unsigned long id = 0;
    lines >> id;
    return id;
}

Geometry XGeometry(unsigned long xwindow) {
    Geometry g;
    CommandResult r = Xdotool("getwindowgeometry --shell " + std::to_string(xwindow));
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X")
            g.x = value;
        if (key == "Y")
            g.y = value;
        if (key == "WIDTH")
            g.width = value;
        if (key == "HEIGHT")
            g.height = value;
    }
    return g;
}

Picture LoadPng(const std::string& path) {
    Picture p;
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(s);
        p.width = cairo_image_surface_get_width(s);
        p.height = cairo_image_surface_get_height(s);
        int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        for (int y = 0; y < p.height; ++y) {
            auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
            for (int x = 0; x < p.width; ++x)
                p.pixels.push_back(row[x] & 0xFFFFFF);
        }
    }
    cairo_surface_destroy(s);
    return p;
}

bool SavePng(const winlayer::Surface& surface, const std::string& path) {
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, surface.width, surface.height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < surface.height; ++y) {
        std::memcpy(data + static_cast<size_t>(y) * stride, surface.Row(y),
                    static_cast<size_t>(surface.width) * 4);
    }
    cairo_surface_mark_dirty(s);
    bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

bool Photograph(unsigned long xwindow, const std::string& path, int x, int y, uint32_t rgb) {
    char pixel[64];
    std::snprintf(pixel, sizeof pixel, "%d,%d=%06X", x, y, rgb & 0xFFFFFF);
    std::string window = xwindow ? " --window " + std::to_string(xwindow) : std::string();
    return Run(std::string(XSHOT) + window + " --wait-pixel " + pixel + " --timeout 20 " +
               Quote(path))
               .status == 0;
}

bool Snapshot(unsigned long xwindow, const std::string& path) {
    return Run(std::string(XSHOT) + " --window " + std::to_string(xwindow) + " " + Quote(path))
               .status == 0;
}

std::string OutputPath(const std::string& name) {
    std::filesystem::path dir = std::filesystem::path(TEST_OUTPUT_DIR) / "x11";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

void MessageLog::Add(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(lock_);
    seen_.push_back({hwnd, message, wParam, lParam});
    changed_.notify_all();
}

bool MessageLog::WaitFor(const std::function<bool(const Seen&)>& match, Seen* found) {
    std::unique_lock<std::mutex> lock(lock_);
    size_t index = 0;
    bool ok = changed_.wait_for(lock, kLimit, [&] {
        for (; index < seen_.size(); ++index) {
            if (match(seen_[index]))
                return true;
        }
        return false;
    });
    if (!ok)
        return false;
    if (found)
        *found = seen_[index];
    seen_.erase(seen_.begin(), seen_.begin() + static_cast<std::ptrdiff_t>(index) + 1);
    return true;
}

int MessageLog::Count(UINT message) {
    std::lock_guard<std::mutex> lock(lock_);
    int n = 0;
    for (const Seen& s : seen_)
        n += s.message == message;
    return n;
}

UiWindow::UiWindow(Options options) : options_(std::move(options)) {
    loopEndedFuture_ = loopEnded_.get_future();
    std::promise<void> ready;
    std::future<void> readyFuture = ready.get_future();
    g_window = this;
    thread_ = std::thread(&UiWindow::Run, this, std::move(ready));
    readyFuture.wait();
}

UiWindow::~UiWindow() {
    if (loopEndedFuture_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
    thread_.join();
    g_window = nullptr;
}

void UiWindow::OnUiThread(std::function<void()> task) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    auto* work = new std::function<void()>([&] {
        task();
        done.set_value();
    });
    PostMessageW(hwnd_, kRunTask, 0, reinterpret_cast<LPARAM>(work));
    finished.wait();
}

void UiWindow::Repaint(COLORREF fill) {
    OnUiThread([&] {
        options_.fill = fill;
        InvalidateRect(hwnd_, nullptr, TRUE);
    });
}

bool UiWindow::WaitForLoopEnd() {
    return loopEndedFuture_.wait_for(kLimit) == std::future_status::ready;
}

void UiWindow::Run(std::promise<void> ready) {
    threadId_ = GetCurrentThreadId();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = u"E2eWindow";
    RegisterClassExW(&wc);
    const RECT& r = options_.rect;
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, options_.title.c_str(), options_.style, r.left,
                            r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                            wc.hInstance, nullptr);
    if (hwnd_)
        ShowWindow(hwnd_, SW_SHOWNA);
    ready.set_value();
    MSG msg;
    while (hwnd_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // The loop also ends when the display is gone; the window is then destroyed without it.
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    loopEnded_.set_value();
}

LRESULT CALLBACK UiWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    UiWindow* self = g_window;
    switch (message) {
        case kRunTask: {
            auto* work = reinterpret_cast<std::function<void()>*>(lParam);
            (*work)();
            delete work;
            return 0;
        }
        case WM_LBUTTONDOWN:
            self->log.Add(hwnd, message, wParam, lParam);
            // What a captionless window does to be dragged by its body.
            if (self->options_.dragOnClick) {
                return DefWindowProcW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
            }
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MOUSEMOVE:
        case WM_MOVE:
            self->log.Add(hwnd, message, wParam, lParam);
            return 0;
        case WM_ENTERSIZEMOVE:
        case WM_EXITSIZEMOVE:
            self->log.Add(hwnd, message, wParam, lParam);
            return DefWindowProcW(hwnd, message, wParam, lParam);
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client;
            GetClientRect(hwnd, &client);
            if (self->options_.paint) {
                self->options_.paint(dc, client);
            } else {
                HBRUSH brush = CreateSolidBrush(self->options_.fill);
                FillRect(dc, &client, brush);
                DeleteObject(brush);
            }
            EndPaint(hwnd, &ps);
            self->log.Add(hwnd, message, 0, 0);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace e2e
