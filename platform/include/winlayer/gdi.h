// For tests only: what the layer's GDI can tell about itself. Not part of the Windows API.
#pragma once

#include <windows.h>

#include <string>

namespace winlayer::testing {

// Pens, brushes, fonts, bitmaps and DCs made by the program and not yet deleted (stock objects
// aside), so a test can prove that a painting leaves nothing behind.
int GdiObjectCount();

}  // namespace winlayer::testing

namespace winlayer::testing {

// The font family pango and fontconfig chose for a font; empty when none could be found.
std::string FontFaceUsed(HFONT font);
// How many characters of `text` the font (and its fallbacks) has no glyph for; -1 without a face.
int MissingGlyphs(HFONT font, std::u16string_view text);
// Writes a bitmap's pixels as a PNG picture.
bool SaveBitmapPng(HBITMAP bitmap, const std::string& path);

}  // namespace winlayer::testing
