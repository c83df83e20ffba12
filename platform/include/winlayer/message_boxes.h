// The layer's test interface for message boxes. Where no display can show a box (the headless
// display), a test answers it: an answerer function, called on the thread that shows the box, or
// a queue of scripted answers taken first. Without either, a box is printed to standard error and
// gets its default answer: IDOK for MB_OK, IDABORT for MB_ABORTRETRYIGNORE, IDCANCEL for
// MB_OKCANCEL, MB_YESNOCANCEL and MB_RETRYCANCEL, IDNO for MB_YESNO.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace winlayer::testing {

// Receives the text and caption (UTF-8) and the type flags; returns the button id.
using MessageBoxAnswerer =
    std::function<int(const std::string& text, const std::string& caption, UINT type)>;

// Installs the answerer; an empty function removes it.
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

// Appends answers that the next boxes take, one each, before the answerer is asked.
void QueueMessageBoxAnswers(std::initializer_list<int> answers);

struct ShownMessageBox {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    UINT type = 0;
    DWORD threadId = 0;
    int answer = 0;
};

// Every box shown since the last reset, oldest first.
std::vector<ShownMessageBox> ShownMessageBoxes();

// Forgets the answerer, the queued answers and the shown boxes.
void ResetMessageBoxes();

}  // namespace winlayer::testing
