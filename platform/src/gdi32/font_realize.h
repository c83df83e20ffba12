// Fonts as the text code draws them: a LOGFONTW realised through pango and fontconfig, with the
// face replacements of this system and GDI's metrics from the face's OS/2 table.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _PangoContext PangoContext;

namespace winlayer {

class RealizedFont {
  public:
    RealizedFont() = default;
    RealizedFont(const RealizedFont&) = delete;
    RealizedFont& operator=(const RealizedFont&) = delete;
    ~RealizedFont();

    PangoFontDescription* description = nullptr;  // families and absolute size
    std::string family;                           // the family fontconfig chose
    int ppem = 0;
    TEXTMETRICW metrics{};
    bool underline = false;
};

// Makes the font, or null (with a message on stderr) when pango finds no face at all.
std::shared_ptr<RealizedFont> RealizeFont(const LOGFONTW& font);

// The families pango is given for a face name: a Windows face this system lacks is replaced.
std::string FamiliesFor(std::u16string_view face);

// Every pango call runs under this lock, on one font map: pango's objects are not thread-safe.
std::mutex& PangoLock();
// A context of the layer's font map with crisp text (no anti-aliasing, integer advances).
PangoContext* TextContext();

}  // namespace winlayer
