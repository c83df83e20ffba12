// Processes and files: folders of a path, deletion of a tree, ending a running copy of the
// client and starting the installed client. Narrow texts are in code page 936.
#pragma once

#include <windows.h>

// The client's executable in the installation folder.
inline constexpr char kClientExecutableName[] = "brivostel v9.5.exe";

// Creates the folders of every backslash-terminated prefix of `path` that does not exist; the
// part after the last backslash is a file name and is never created. When a folder cannot be
// created, shows its path in a message box and returns false; folders made before stay.
bool MakeParentFolders(const char* path);

// Deletes the file, or the folder with everything in it, without asking. False when the shell's
// delete fails, also when nothing exists at `path`.
bool DeleteFileTree(const char* path);

// Ends the first running process whose image is exactly <installFolder>\<executableName> (the
// name compared without case, the path with it), then waits for it and pauses 2.5 s so that its
// files are released. Returns at once when no such process runs.
void EndRunningCopy(const WCHAR* executableName);

// Starts <installFolder>\brivostel v9.5.exe with the single argument "end", in the installation
// folder; returns the result of CreateProcessW.
bool LaunchClient();
