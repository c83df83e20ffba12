// Input: display events become mouse messages of the window under the pointer (or of the
// capturing window), with the thread's key state, capture and leave tracking.
#pragma once

#include "drivers/display_driver.h"

#include <windows.h>

namespace winlayer {

// Turns the calling thread's display events into queued messages.
EventSink& InputSink();

// Position and time of the message the calling thread took last.
POINT LastMessagePos();
DWORD LastMessageTime();

// Called as the calling thread takes a message: input messages update its key state.
void NoteInputTaken(const MSG& msg);
void NoteMessageTaken(const MSG& msg);

// A window of the calling thread is being destroyed: it loses capture and leave tracking.
void ForgetInputWindow(HWND hwnd);

}  // namespace winlayer
