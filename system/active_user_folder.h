// Special folders of the user at the console. An elevated installer may run under another
// account than the person at the console; their folders are the ones that matter.
#pragma once

#include <string>

// Appends the path of special folder `csidl` (CSIDL_*), rewritten for the user logged on at the
// console, to `text`. Reports nothing: when the folder cannot be read, the text stays as given.
void GetActiveUserFolder(int csidl, std::string& text);

// The rewriting step of GetActiveUserFolder: with S and T the positions of the second and third
// backslashes of `text`, CSIDL_DESKTOPDIRECTORY keeps the text up to S and appends the user name
// and "\desktop"; any other folder gets the user name in place of what lies between S and T.
// Text without those backslashes is left unchanged.
void RewriteFolderForUser(int csidl, const std::string& userName, std::string& text);
