// The repair of the process's search path at start: the system folder appended to "Path".
#pragma once

// Appends SystemRoot + "\system32;" to the variable "Path" of the process (after a ";" when the
// value does not end in one), even when it is already there. Without "SystemRoot" the
// environment is left as it was, and so is a value longer than the 65,536-character buffer; an
// entry too long to convert is appended as an empty text.
void RepairSearchPath();
