// Text: GetTextMetricsW, GetTextExtentPoint32W, TextOutW and DrawTextW over pango. Glyphs are
// drawn without anti-aliasing, in the text colour alone; the baseline sits at the cell's top plus
// tmAscent, as GDI places it, whatever pango's own line would be.
#include "gdi32/dc.h"
#include "gdi32/font_realize.h"
#include "gdi32/text_trace.h"
#include "gdi32/text_utf8.h"
#include "kernel32/codepage.h"

#include <winlayer/gdi.h>

#include <pango/pangocairo.h>

#include <algorithm>
#include <string>
#include <vector>

namespace winlayer {
namespace {

// One line of text, its prefix characters taken out.
struct TextRun {
    std::u16string text;
    int underline = -1;  // the unit an "&" underlines
};

// A pango layout of one line; used under PangoLock.
class LineLayout {
  public:
    LineLayout(const RealizedFont& font, std::u16string_view text) {
        std::string utf8 = Utf8(text, &starts_);
        layout_ = pango_layout_new(TextContext());
        pango_layout_set_font_description(layout_, font.description);
        if (font.underline) {
            PangoAttrList* attributes = pango_attr_list_new();
            pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
            pango_layout_set_attributes(layout_, attributes);
            pango_attr_list_unref(attributes);
        }
        pango_layout_set_text(layout_, utf8.data(), static_cast<int>(utf8.size()));
        pango_layout_get_pixel_extents(layout_, &ink_, &logical_);
    }
    LineLayout(const LineLayout&) = delete;
    LineLayout& operator=(const LineLayout&) = delete;
    ~LineLayout() { g_object_unref(layout_); }

    int Width() const { return logical_.width; }
    PangoLayout* get() const { return layout_; }
    const PangoRectangle& ink() const { return ink_; }
    int ByteOf(int unit) const { return starts_[static_cast<size_t>(unit)]; }

  private:
    PangoLayout* layout_;
    PangoRectangle ink_, logical_;
    std::vector<int> starts_;
};

// The DC's clip narrowed to a rectangle in DC coordinates (none: the DC's clip).
std::vector<RECT> ClipTo(const DcObject& dc, const RECT* rect) {
    if (!rect)
        return dc.clip;
    RECT limit{rect->left + dc.origin.x, rect->top + dc.origin.y, rect->right + dc.origin.x,
               rect->bottom + dc.origin.y};
    std::vector<RECT> clip;
    for (const RECT& c : dc.clip) {
        RECT r{std::max(c.left, limit.left), std::max(c.top, limit.top),
               std::min(c.right, limit.right), std::min(c.bottom, limit.bottom)};
        if (r.left < r.right && r.top < r.bottom)
            clip.push_back(r);
    }
    return clip;
}

// Draws a laid-out line with its cell's top-left corner at (x, y), DC coordinates.
void DrawLine(const DcObject& dc, const RealizedFont& font, const LineLayout& line, int underline,
              int x, int y, const std::vector<RECT>& clip) {
    raster::Canvas canvas{dc.Target(), clip};
    int ox = x + dc.origin.x, oy = y + dc.origin.y;
    if (dc.bkMode == OPAQUE)
        raster::FillRect(canvas, {ox, oy, ox + line.Width(), oy + font.metrics.tmHeight},
                         dc.Pixel(dc.bkColor));
    uint32_t pixel = dc.Pixel(dc.textColor);
    int baseline = PANGO_PIXELS(pango_layout_get_baseline(line.get()));
    int top = oy + font.metrics.tmAscent - baseline;  // the layout's top
    const PangoRectangle& ink = line.ink();
    if (ink.width > 0 && ink.height > 0) {
        // The glyphs as a mask, then the text colour wherever the mask is set.
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, ink.width, ink.height);
        cairo_t* cr = cairo_create(mask);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_translate(cr, -ink.x, -ink.y);
        pango_cairo_show_layout(cr, line.get());
        cairo_destroy(cr);
        cairo_surface_flush(mask);
        const unsigned char* data = cairo_image_surface_get_data(mask);
        int stride = cairo_image_surface_get_stride(mask);
        for (int j = 0; j < ink.height; ++j)
            for (int i = 0; i < ink.width; ++i)
                if (data[j * stride + i] >= 128)
                    raster::Dot(canvas, ox + ink.x + i, top + ink.y + j, pixel);
        cairo_surface_destroy(mask);
    }
    if (underline >= 0) {
        PangoRectangle at;
        pango_layout_index_to_pos(line.get(), line.ByteOf(underline), &at);
        int left = ox + PANGO_PIXELS(at.x);
        raster::Span(canvas, top + baseline + 1, left, left + std::max(PANGO_PIXELS(at.width), 1),
                     pixel);
    }
}

// "&&" is an "&"; another "&" goes and underlines the character after it.
TextRun TakePrefixes(std::u16string_view text) {
    TextRun run;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&' && run.underline < 0)
                run.underline = static_cast<int>(run.text.size());
        } else if (text[i] == u'&') {
            continue;
        }
        run.text += text[i];
    }
    return run;
}

std::vector<TextRun> SplitLines(std::u16string_view text, UINT format) {
    std::vector<std::u16string_view> pieces;
    if (format & DT_SINGLELINE) {
        pieces.push_back(text);
    } else {
        // CR LF, CR or LF end a line.
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != u'\r' && text[i] != u'\n')
                continue;
            pieces.push_back(text.substr(start, i - start));
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
        pieces.push_back(text.substr(start));
    }
    std::vector<TextRun> runs;
    for (std::u16string_view piece : pieces) {
        TextRun run = format & DT_NOPREFIX ? TextRun{std::u16string(piece)} : TakePrefixes(piece);
        // On a single line CR and LF break nothing and show nothing.
        std::erase_if(run.text, [](char16_t c) { return c == u'\r' || c == u'\n'; });
        runs.push_back(std::move(run));
    }
    return runs;
}

std::shared_ptr<RealizedFont> FontOf(const DcObject& dc) {
    return dc.font ? dc.font->Realized() : nullptr;
}

}  // namespace

namespace testing {

std::string FontFaceUsed(HFONT font) {
    std::shared_ptr<FontObject> found = GdiObjectFromHandle<FontObject>(font);
    std::shared_ptr<RealizedFont> realized = found ? found->Realized() : nullptr;
    return realized ? realized->family : std::string();
}

int MissingGlyphs(HFONT font, std::u16string_view text) {
    std::shared_ptr<FontObject> found = GdiObjectFromHandle<FontObject>(font);
    std::shared_ptr<RealizedFont> realized = found ? found->Realized() : nullptr;
    if (!realized)
        return -1;
    std::lock_guard lock(PangoLock());
    LineLayout line(*realized, text);
    return pango_layout_get_unknown_glyphs_count(line.get());
}

}  // namespace testing
}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    std::shared_ptr<RealizedFont> font = found ? FontOf(*found) : nullptr;
    if (!font || metrics == nullptr) {
        SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *metrics = font->metrics;
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    std::shared_ptr<RealizedFont> font = found ? FontOf(*found) : nullptr;
    if (!font || size == nullptr || count < 0 || (text == nullptr && count > 0)) {
        SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(PangoLock());
    LineLayout line(*font, std::u16string_view(text ? text : u"", static_cast<size_t>(count)));
    size->cx = line.Width();
    size->cy = font->metrics.tmHeight;
    return TRUE;
}

BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    std::shared_ptr<RealizedFont> font = found ? FontOf(*found) : nullptr;
    if (!font || count < 0 || (text == nullptr && count > 0)) {
        SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    TraceDrawnText(std::u16string_view(text ? text : u"", static_cast<size_t>(count)));
    std::lock_guard lock(PangoLock());
    LineLayout line(*font, std::u16string_view(text ? text : u"", static_cast<size_t>(count)));
    DrawLine(*found, *font, line, -1, x, y, found->clip);
    return TRUE;
}

int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    std::shared_ptr<RealizedFont> font = found ? FontOf(*found) : nullptr;
    if (!font || rect == nullptr || (text == nullptr && count != 0)) {
        SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    if (count < 0)
        count = static_cast<int>(WideLength(text));
    if (count == 0)
        return 0;
    std::vector<TextRun> runs =
        SplitLines(std::u16string_view(text, static_cast<size_t>(count)), format);
    const int lineHeight = font->metrics.tmHeight;
    const bool single = (format & DT_SINGLELINE) != 0;

    std::lock_guard lock(PangoLock());
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const TextRun& run : runs)
            widest = std::max(widest, LineLayout(*font, run.text).Width());
        rect->right = rect->left + widest;
        rect->bottom = rect->top + lineHeight * static_cast<int>(runs.size());
        return lineHeight * static_cast<int>(runs.size());
    }
    TraceDrawnText(std::u16string_view(text, static_cast<size_t>(count)));
    std::vector<RECT> clip = ClipTo(*found, format & DT_NOCLIP ? nullptr : rect);
    int y = rect->top;
    for (size_t i = 0; i < runs.size(); ++i) {
        LineLayout line(*font, runs[i].text);
        int cx = line.Width();
        int x = rect->left;
        if (format & DT_CENTER)
            x = (rect->left + rect->right - cx) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - cx;
        y = rect->top + lineHeight * static_cast<int>(i);
        // Without DT_SINGLELINE, DT_VCENTER and DT_BOTTOM are ignored, as in Windows.
        if (single && (format & DT_VCENTER))
            y = rect->top + (rect->bottom - rect->top) / 2 - lineHeight / 2;
        else if (single && (format & DT_BOTTOM))
            y = rect->bottom - lineHeight;
        DrawLine(*found, *font, line, runs[i].underline, x, y, clip);
    }
    if (single && (format & (DT_VCENTER | DT_BOTTOM)))
        return y + lineHeight - rect->top;
    return lineHeight * static_cast<int>(runs.size());
}
