// Windows command lines: how a program and its arguments are read from one line of text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace winlayer {

// The arguments of a command line by the rules of CommandLineToArgvW and the C runtime: the first
// argument runs to the closing quote when it starts with one, else to the first blank, and takes
// no escapes; later ones are separated by blanks outside quotes, 2n backslashes before a quote
// give n backslashes and a quote that opens or closes, 2n+1 give n backslashes and a literal
// quote, other backslashes are literal, and "" inside quotes is a literal quote.
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

// The names CreateProcess tries for the program of a command line, in order: the first argument
// when it is quoted or has no blank inside, else every prefix that ends before a blank,
// shortest first, then the whole first run of text up to the end.
std::vector<std::u16string> ProgramCandidates(std::u16string_view line);

}  // namespace winlayer
