// A trace of the text the program draws, for tests that watch a program from outside: with
// WINLAYER_TEXT_TRACE=FILE, every text that TextOutW and DrawTextW draw is appended to FILE as one
// UTF-8 line.
#pragma once

#include <string_view>

namespace winlayer {

void TraceDrawnText(std::u16string_view text);

}  // namespace winlayer
