// Replacing the installation folder by the staging folder so that, at every instant, the old or
// the new installation is complete and the next start finds it under the installation's name.
// The old folder is moved aside, the staging folder moved into place, and only then is the old
// one deleted. A journal beside the folders (installFolder + "swap.ini", a profile file)
// records each swap before anything moves: the folder the old installation goes to, how far the
// swap got ("state": "moving", then "placed"), and set-aside copies still to delete
// ("leftovers", joined by '|'). A run killed in the middle leaves the journal for the next start.
#pragma once

#include <string>
#include <vector>

enum class SwapState {
    None,    // no swap under way (leftovers may still wait)
    Moving,  // the staging folder is complete; the folders may be in the middle of the swap
    Placed,  // the new installation is in place; what follows the move is not done yet
};

struct SwapJournal {
    SwapState state = SwapState::None;
    std::string aside;                   // where the old installation is (or goes) set aside
    std::vector<std::string> leftovers;  // set-aside copies of earlier swaps still to delete
};

std::string SwapJournalPath();
SwapJournal ReadSwapJournal();

// Whether a swap is recorded as under way: the staging folder then holds a complete release
// that must not be deleted.
bool SwapUnderWay();

// Records the swap and moves the installation folder aside, to installFolder + "old" or, when a
// folder of that name that this installer did not set aside is there, the first free name
// "old2" to "old9". False, with the log line of the failure in *failure, when the journal
// cannot be written or the folder cannot be moved (a file in it is open): the installation
// folder is then untouched and no swap is recorded.
bool MoveInstallFolderAside(std::string* failure);

// Renames the staging folder to the installation folder and records the swap as placed. On
// failure, puts the log line in *failure, moves the set-aside folder back and ends the swap;
// when even that fails, the swap stays recorded (both copies are kept for the next start).
bool MoveStagingFolderIntoPlace(std::string* failure);

// Deletes the set-aside folder of this swap and the leftovers of earlier ones; a folder that
// cannot be deleted completely is logged ("Delete Fail,path:...") and stays in the journal for
// a later run.
void DeleteSetAsideFolders();

// Ends the swap: the journal goes, unless leftovers wait in it.
void EndSwap();

// What a run killed in the middle of a swap left, finished or rolled back at start before
// anything else touches the folders. Returns the state the swap reached: Placed when the new
// installation is in place and what follows the move must still be done; None otherwise (no
// swap, or rolled back, or the old installation kept); Moving when neither could be done now
// (both copies stay, the staging folder is kept, and the next start tries again).
// What was done is added to *report, one log line each.
SwapState FinishOrRollBackSwap(std::vector<std::string>* report);
