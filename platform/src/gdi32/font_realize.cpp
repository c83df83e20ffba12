// Font realisation: face replacement, the pango font, and GDI's metrics from the OS/2 table.
#include "gdi32/font_realize.h"

#include "gdi32/gdi_object.h"
#include "gdi32/text_utf8.h"

#include <hb.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace winlayer {
namespace {

constexpr char kCjkFamily[] = "WenQuanYi Micro Hei";
constexpr char kCjkFamilies[] = "WenQuanYi Micro Hei,Noto Sans CJK SC,DejaVu Sans";
constexpr char kCjkPackage[] = "fonts-wqy-microhei";

bool SameFace(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z')
            x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z')
            y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y)
            return false;
    }
    return true;
}

bool IsCjkReplacement(std::u16string_view face) {
    // fontconfig answers DejaVu Sans for these names, so the table names the installed face.
    for (std::u16string_view name : {u"Microsoft Yahei", u"Microsoft YaHei UI", u"微软雅黑"})
        if (SameFace(face, name))
            return true;
    return false;
}

PangoFontMap* FontMap() {
    static PangoFontMap* map = pango_cairo_font_map_new();
    return map;
}

unsigned BigEndian16(const char* data) {
    return static_cast<unsigned>(static_cast<unsigned char>(data[0])) << 8 |
           static_cast<unsigned char>(data[1]);
}

// Windows' MulDiv for non-negative values: rounded to the nearest.
int MulDiv(int a, int b, int c) {
    return c == 0 ? 0 : static_cast<int>((static_cast<long long>(a) * b + c / 2) / c);
}

struct FaceMetrics {
    int upem = 2048;
    int winAscent = 0, winDescent = 0;
    int avgCharWidth = 0, maxAdvance = 0;
};

FaceMetrics ReadFaceMetrics(PangoFont* font) {
    FaceMetrics metrics;
    hb_font_t* hb = pango_font_get_hb_font(font);
    if (!hb)
        return metrics;
    hb_face_t* face = hb_font_get_face(hb);
    metrics.upem = static_cast<int>(hb_face_get_upem(face));
    hb_blob_t* os2 = hb_face_reference_table(face, HB_TAG('O', 'S', '/', '2'));
    unsigned length = 0;
    const char* data = hb_blob_get_data(os2, &length);
    if (data && length >= 78) {
        metrics.avgCharWidth = static_cast<int16_t>(BigEndian16(data + 2));
        metrics.winAscent = static_cast<int>(BigEndian16(data + 74));
        metrics.winDescent = static_cast<int>(BigEndian16(data + 76));
    }
    hb_blob_destroy(os2);
    hb_blob_t* hhea = hb_face_reference_table(face, HB_TAG('h', 'h', 'e', 'a'));
    data = hb_blob_get_data(hhea, &length);
    if (data && length >= 12)
        metrics.maxAdvance = static_cast<int>(BigEndian16(data + 10));
    hb_blob_destroy(hhea);
    if (metrics.winAscent + metrics.winDescent == 0) {  // no OS/2 table: the usual proportions
        metrics.winAscent = metrics.upem * 4 / 5;
        metrics.winDescent = metrics.upem / 5;
    }
    return metrics;
}

std::mutex& RealizeLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

std::mutex& PangoLock() {
    static std::mutex lock;
    return lock;
}

PangoContext* TextContext() {
    static PangoContext* context = [] {
        PangoContext* made = pango_font_map_create_context(FontMap());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        pango_cairo_context_set_font_options(made, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(made, 96);
        return made;
    }();
    return context;
}

std::string FamiliesFor(std::u16string_view face) {
    if (IsCjkReplacement(face))
        return kCjkFamilies;
    if (face.empty() || SameFace(face, u"System") || SameFace(face, u"MS Shell Dlg") ||
        SameFace(face, u"MS Shell Dlg 2"))
        return "DejaVu Sans," + std::string(kCjkFamily);
    std::string families;
    for (char c : Utf8(face))
        if (c != ',')  // a comma would start another family
            families += c;
    return families + ",DejaVu Sans," + kCjkFamily;
}

RealizedFont::~RealizedFont() {
    if (description)
        pango_font_description_free(description);
}

std::shared_ptr<RealizedFont> RealizeFont(const LOGFONTW& logFont) {
    std::u16string_view face(logFont.lfFaceName);
    auto font = std::make_shared<RealizedFont>();
    std::lock_guard lock(PangoLock());
    font->description = pango_font_description_new();
    pango_font_description_set_family(font->description, FamiliesFor(face).c_str());
    int weight = logFont.lfWeight == 0 ? FW_NORMAL : static_cast<int>(logFont.lfWeight);
    pango_font_description_set_weight(font->description, static_cast<PangoWeight>(weight));
    if (logFont.lfItalic)
        pango_font_description_set_style(font->description, PANGO_STYLE_ITALIC);
    pango_font_description_set_absolute_size(font->description, 64.0 * PANGO_SCALE);
    PangoFont* loaded = pango_font_map_load_font(FontMap(), TextContext(), font->description);
    if (!loaded) {
        std::fprintf(stderr, "winlayer: no font face found for \"%s\"\n", Utf8(face).c_str());
        return nullptr;
    }
    PangoFontDescription* chosen = pango_font_describe(loaded);
    font->family = pango_font_description_get_family(chosen);
    pango_font_description_free(chosen);
    FaceMetrics face_metrics = ReadFaceMetrics(loaded);
    g_object_unref(loaded);
    if (IsCjkReplacement(face) && font->family != kCjkFamily) {
        static bool told = false;
        if (!std::exchange(told, true))
            std::fprintf(stderr,
                         "winlayer: the face \"%s\" is drawn with %s, which is not installed; "
                         "install the Debian package %s (using %s instead)\n",
                         Utf8(face).c_str(), kCjkFamily, kCjkPackage, font->family.c_str());
    }

    // The size by Windows' rule: a positive height is the cell (win ascent + descent), a
    // negative one the em.
    int cell = face_metrics.winAscent + face_metrics.winDescent;
    if (logFont.lfHeight > 0)
        font->ppem = MulDiv(face_metrics.upem, logFont.lfHeight, cell);
    else if (logFont.lfHeight < 0)
        font->ppem = -logFont.lfHeight;
    else
        font->ppem = MulDiv(face_metrics.upem, 16, cell);
    font->ppem = std::max(font->ppem, 1);
    pango_font_description_set_absolute_size(font->description,
                                             static_cast<double>(font->ppem) * PANGO_SCALE);

    TEXTMETRICW& tm = font->metrics;
    tm.tmAscent = MulDiv(face_metrics.winAscent, font->ppem, face_metrics.upem);
    tm.tmDescent = MulDiv(face_metrics.winDescent, font->ppem, face_metrics.upem);
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max(tm.tmHeight - font->ppem, 0);
    tm.tmAveCharWidth =
        MulDiv(std::max(face_metrics.avgCharWidth, 0), font->ppem, face_metrics.upem);
    tm.tmMaxCharWidth = MulDiv(face_metrics.maxAdvance, font->ppem, face_metrics.upem);
    tm.tmWeight = weight;
    tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFFFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = logFont.lfItalic;
    tm.tmUnderlined = logFont.lfUnderline;
    tm.tmStruckOut = logFont.lfStrikeOut;
    tm.tmPitchAndFamily = 0x07;  // variable pitch, vector, TrueType
    // DEFAULT_CHARSET realises as the system's: GB2312 with code page 936.
    tm.tmCharSet = logFont.lfCharSet == DEFAULT_CHARSET ? GB2312_CHARSET : logFont.lfCharSet;
    font->underline = logFont.lfUnderline != 0;
    return font;
}

std::shared_ptr<RealizedFont> FontObject::Realized() {
    std::lock_guard lock(RealizeLock());
    if (!tried_) {
        tried_ = true;
        realized_ = RealizeFont(font_);
    }
    return realized_;
}

}  // namespace winlayer

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps its configuration and font caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

#if defined(__SANITIZE_THREAD__)
// pango starts fontconfig on a thread of its own; fontconfig and glib are built without the
// thread sanitizer, so it cannot see how they synchronise.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so\nrace:libglib-2.0.so\nrace:libpango-1.0.so\n"
           "called_from_lib:libfontconfig.so\n";
}
#endif
