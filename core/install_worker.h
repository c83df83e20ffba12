// The install worker: one thread that downloads the packages of the plan into the staging
// folder, extracts them, records the versions, puts the staging folder in the place of the
// installation folder, registers the client and writes its settings. It reports only through
// install notifications posted to InstallerWindow and ends at the first failure, whose step
// index it posts with WM_INSTALL_FAILED. Besides the process-wide settings and log, its only
// links to the outside are its IClient record and InstallerWindow.
#pragma once

#include <cstdint>
#include <string>

#include "core/iclient.h"
#include "core/install_stop.h"
#include "core/staging_folder.h"

// What the user-interface thread does before the worker starts: ends a running copy of the
// installed client, empties the staging folder and opens a new "log\install.log" in it. When
// the folder cannot be emptied, the worker fails at once (step 11) and nothing is downloaded.
void PrepareInstallation();

// Starts InstallWorker on a new thread with `client`, which must stay alive until the worker
// has ended. Returns the thread handle (0 when the thread cannot start); the caller may wait on
// it and closes it.
uintptr_t StartInstallWorker(IClient& client);

// RequestInstallStop (core/install_stop.h) stops a running worker: its download or extraction
// gives up at once, and so does the worker at its next step boundary, as long as it has not
// begun to replace the installation folder; from there on it finishes. A stopped worker posts
// no failure and ends with result 0. PrepareInstallation clears the request.

// The thread: `argument` is the IClient. 1 after a successful installation, 0 after a failure.
unsigned __stdcall InstallWorker(void* argument);

// Extracts `archive` into `destination`. The archive of a package that the plan did not
// download (`downloaded` false: the dependency package of this build) counts as installed with
// nothing to do when it is missing (true, the progress unchanged); a downloaded package must be
// there, so a missing one fails (an empty object leaves no file). Otherwise the progress grows
// by 10 / plannedDownloads, and is posted only when the extraction succeeded.
bool InstallPackage(IClient& client, const std::string& archive, const std::string& destination,
                    bool downloaded);

// Deletes the manifest and every package file of the plan from the staging folder.
void RemoveDownloadedFiles(IClient& client);

// The progress callback of every download (`userData` is the IClient): posts the share of the
// first 80 percent that the downloads done so far and this transfer's fraction cover. A transfer
// of unknown size (total not positive) counts as just started.
void OnDownloadProgress(uint64_t increment, int64_t transferred, int64_t total, void* userData);
