// Replacing the installation folder by the staging folder without ever leaving the user with no
// installation: the old folder is moved aside first, the staging folder is moved into place,
// and only then is the old one deleted; when the second move fails, the old one is moved back.
#pragma once

#include <string>

// Moves installFolder aside, to installFolder + "old" (a leftover of that name is deleted
// first). Sets *moved when there was a folder and it was moved. False, with the log line of the
// failure in *failure, when the folder exists and cannot be moved (a file in it is open): the
// installation folder is then untouched.
bool MoveInstallFolderAside(bool* moved, std::string* failure);

// Renames stagingFolder to installFolder. On failure, moves the folder set aside back when
// `oldMovedAside`, puts the log line of the failure in *failure and returns false.
bool MoveStagingFolderIntoPlace(bool oldMovedAside, std::string* failure);

// Deletes the folder set aside; what cannot be deleted stays.
void DeleteOldInstallFolder();
