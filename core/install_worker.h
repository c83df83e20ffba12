// The install worker: one thread that downloads the packages of the plan into the staging
// folder, extracts them, records the versions, puts the staging folder in the place of the
// installation folder, registers the client and writes its settings. It reports only through
// install notifications posted to InstallerWindow and ends at the first failure, whose step
// index it posts with WM_INSTALL_FAILED. The packages that have arrived are extracted ahead,
// while the later ones download (core/extraction_ahead.h); each install step takes its package
// from there or extracts it itself, so the steps show and log as if they ran one by one. Besides
// the process-wide settings and log, its only links to the outside are its IClient record and
// InstallerWindow.
//
// A stop asked for through the client's installStop (core/install_stop.h) ends a running
// worker: its download or extraction gives up at once, and so does the worker at its next step
// boundary, as long as it has not begun to replace the installation folder; from there on it
// finishes. A stopped worker posts no failure and ends with result 0.
#pragma once

#include <windows.h>

#include "core/iclient.h"

// Starts the worker on a new thread with `client`, which must stay alive until the worker has
// ended; PrepareInstallation (core/install_preparation.h) comes first. Returns the thread
// handle, null when the thread cannot start; the caller may wait on it and closes it. The
// thread's exit code is 1 after a successful installation, 0 after a failure or a stop.
HANDLE StartInstallWorker(IClient& client);
