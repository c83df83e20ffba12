// The staging folder, where every installation is built before it takes the installation
// folder's place: emptied when an installation starts, never built upon when it cannot be
// emptied, and removed after a failure unless it holds the only complete copy of the client.
#pragma once

#include <string>

// Deletes whatever an earlier attempt left in the staging folder. False when the folder is still
// there (a file in it is held open, or cannot be deleted): an installation must then not be
// built in it, since the earlier attempt's files would become part of the release. The answer
// is kept for StagingFolderReady. A swap still recorded as under way (one that the start could
// not finish) keeps the folder, which holds its complete release, and also answers false.
bool ClearStagingFolder();

// The answer of the last ClearStagingFolder (true before the first call).
bool StagingFolderReady();

// What the program does with the staging folder when it ends after a failed installation:
// deletes it, unless it holds the only complete copy. The attempt's log is kept beside the
// installation folder (installFolder + "failed.log") for the next run.
void RemoveStagingFolderAfterFailure();

// Where the log of a failed attempt waits for the next run.
std::string FailedAttemptLogPath();

// Appends the kept log of a failed attempt, if there is one, to the open install log, and
// deletes it: the next run's log tells what happened before it.
void CarryOverFailedAttemptLog();
