// xshot: saves an X window, or the whole screen, as a PNG file.
//
//   xshot [--window ID] [--wait-pixel X,Y=RRGGBB [--timeout SECONDS]] OUT.png
//
// The picture is taken after XSync, so everything drawn by requests the server has received is
// in it. With --wait-pixel the picture is taken once the pixel at X,Y (in the window) has the
// colour, checked every 20 ms up to the time limit (default 10 s): tests photograph a state
// instead of sleeping. Exit status: 0 saved; 1 the pixel never got the colour (the last picture
// is saved anyway); 2 bad arguments; 3 the display, the window or the file failed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

struct Options {
    Window window = 0;  // 0: the root window
    bool waitPixel = false;
    int x = 0, y = 0;
    uint32_t rgb = 0;
    double timeout = 10;
    std::string out;
};

int Usage() {
    std::fprintf(
        stderr,
        "usage: xshot [--window ID] [--wait-pixel X,Y=RRGGBB [--timeout SECONDS]] OUT.png\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--window") {
            const char* v = value();
            char* end = nullptr;
            if (!v)
                return false;
            o.window = std::strtoul(v, &end, 0);
            if (*end || o.window == 0)
                return false;
        } else if (a == "--wait-pixel") {
            const char* v = value();
            unsigned rgb = 0;
            char tail = 0;
            if (!v || std::sscanf(v, "%d,%d=%6x%c", &o.x, &o.y, &rgb, &tail) != 3)
                return false;
            if (std::strlen(std::strchr(v, '=') + 1) != 6)
                return false;
            o.waitPixel = true;
            o.rgb = rgb;
        } else if (a == "--timeout") {
            const char* v = value();
            char* end = nullptr;
            if (!v)
                return false;
            o.timeout = std::strtod(v, &end);
            if (*end || o.timeout < 0)
                return false;
        } else if (!a.empty() && a[0] != '-' && o.out.empty()) {
            o.out = a;
        } else {
            return false;
        }
    }
    return !o.out.empty();
}

int g_xerror = 0;
int RecordError(Display*, XErrorEvent* e) {
    g_xerror = e->error_code;
    return 0;
}

// Bit position of a TrueColor mask's lowest bit and the mask's width, to scale any visual to 8
// bits.
int Shift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1))
        mask >>= 1, ++s;
    return s;
}
uint32_t Channel(unsigned long pixel, unsigned long mask) {
    if (!mask)
        return 0;
    unsigned long v = (pixel & mask) >> Shift(mask);
    unsigned long max = mask >> Shift(mask);
    return static_cast<uint32_t>(v * 255 / max);
}

struct ImageDeleter {
    void operator()(XImage* i) const { XDestroyImage(i); }
};
using ImagePtr = std::unique_ptr<XImage, ImageDeleter>;

ImagePtr Grab(Display* dpy, Window w) {
    XWindowAttributes attrs;
    g_xerror = 0;
    if (!XGetWindowAttributes(dpy, w, &attrs) || g_xerror)
        return nullptr;
    XSync(dpy, False);
    XImage* image = XGetImage(dpy, w, 0, 0, attrs.width, attrs.height, AllPlanes, ZPixmap);
    XSync(dpy, False);
    if (g_xerror) {
        if (image)
            XDestroyImage(image);
        return nullptr;
    }
    return ImagePtr(image);
}

uint32_t PixelAt(XImage* image, int x, int y) {
    unsigned long p = XGetPixel(image, x, y);
    return Channel(p, image->red_mask) << 16 | Channel(p, image->green_mask) << 8 |
           Channel(p, image->blue_mask);
}

bool SavePng(XImage* image, const std::string& path) {
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->width, image->height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < image->height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < image->width; ++x)
            row[x] = PixelAt(image, x, y);
    }
    cairo_surface_mark_dirty(s);
    bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o))
        return Usage();
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "xshot: cannot open display %s\n", XDisplayName(nullptr));
        return 3;
    }
    XSetErrorHandler(RecordError);
    Window w = o.window ? o.window : DefaultRootWindow(dpy);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.timeout);
    ImagePtr image;
    bool matched = !o.waitPixel;
    for (;;) {
        image = Grab(dpy, w);
        if (!image) {
            std::fprintf(stderr, "xshot: cannot read window 0x%lx\n", w);
            XCloseDisplay(dpy);
            return 3;
        }
        if (matched)
            break;
        if (o.x < 0 || o.y < 0 || o.x >= image->width || o.y >= image->height) {
            std::fprintf(stderr, "xshot: %d,%d is outside the %dx%d picture\n", o.x, o.y,
                         image->width, image->height);
            XCloseDisplay(dpy);
            return 2;
        }
        uint32_t got = PixelAt(image.get(), o.x, o.y);
        if (got == o.rgb) {
            matched = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "xshot: pixel %d,%d is %06X, not %06X, after %g s\n", o.x, o.y,
                         got, o.rgb, o.timeout);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool saved = SavePng(image.get(), o.out);
    image.reset();
    XCloseDisplay(dpy);
    if (!saved) {
        std::fprintf(stderr, "xshot: cannot write %s\n", o.out.c_str());
        return 3;
    }
    return matched ? 0 : 1;
}
