// What the user-interface thread does before the install worker starts.
#pragma once

#include "core/iclient.h"

// Clears the stop request of `client`, ends a running copy of the installed client, empties
// the staging folder and opens a new "log\install.log" in it. When the folder cannot be emptied,
// its log is appended to instead and the worker fails at once (step 11): nothing is downloaded.
void PrepareInstallation(IClient& client);
