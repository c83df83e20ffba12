// Replacing the installation folder by the staging folder without ever leaving the user with no
// installation: the old folder is moved aside first, the staging folder is moved into place,
// and only then is the old one deleted; when the second move fails, the old one is moved back.
#pragma once

// Moves installFolder aside, to installFolder + "old" (a leftover of that name is deleted
// first). False when there is nothing to move or the folder cannot be moved (a file in it is
// open): the installation folder is then untouched.
bool MoveInstallFolderAside();

// Renames stagingFolder to installFolder. On failure, moves the folder set aside back when
// `oldMovedAside`, and returns false.
bool MoveStagingFolderIntoPlace(bool oldMovedAside);

// Deletes the folder set aside; what cannot be deleted stays.
void DeleteOldInstallFolder();
