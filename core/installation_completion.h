// What follows the move of a new installation into place, done by the worker after its swap and
// again at the next start when a run was killed before it had ended: the set-aside copy
// deleted, the client registered with the system, its desktop shortcut made. Each of these
// steps can be repeated without harm, so a second attempt simply does them all again.
#pragma once

// After the staging folder has taken the installation's name: opens the installation's log
// ("log\install.log", appended to), deletes the set-aside folders (a failure logged and kept for
// a later run), writes the uninstall entry and the URL protocol, makes the shortcut, closes the
// log and ends the swap.
void CompletePlacedInstallation();

// At start, before anything else touches the folders: finishes or rolls back a swap that a
// killed run left (its journal), completes what follows the move when the new installation is
// in place, and deletes set-aside copies that an earlier run could not delete. What was done is
// appended to the installation's log. Needs the folders and the broker's settings.
void RecoverInterruptedInstallation();
