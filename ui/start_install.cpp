// The start of an installation, on the user-interface thread, when the button is pressed in Idle.
#include "core/install_log.h"
#include "core/install_notifications.h"
#include "core/install_preparation.h"
#include "core/install_worker.h"
#include "core/update_plan.h"
#include "ui/brivostel_dlg.h"
#include "ui/progress_bar.h"

void TBrivostelDlg::StartInstall() {
    // Message boxes of the preparation (a folder that cannot be made) run nested message loops
    // while the window still takes clicks: a second press must not start a second installation.
    if (starting || state != InstallState::Idle)
        return;
    starting = true;
    PrepareInstallation(*this);  // ends a running client, clears the staging folder, opens the log
    UpdateWindow(hwnd);          // the manifest download below blocks this thread
    ReadRemoteManifest(*this);
    starting = false;
    if (!running)
        return;  // closed meanwhile, from a nested loop
    state = InstallState::Installing;
    // Kept, unlike a fire-and-forget thread, so that the end of the dialog can wait for it.
    workerThread = StartInstallWorker(*this);
    if (workerThread == nullptr) {
        // No worker will ever report: the failure is shown at the step it would have begun with.
        WriteInstallLog("Install worker thread could not be started");
        PostInstallNotification(WM_INSTALL_FAILED, downloadDependencies ? 1 : 2);
    }
    if (progressBar != nullptr && IsWindow(progressBar->hwnd))
        MoveWindow(progressBar->hwnd, kProgressBarRect.left, kProgressBarRect.top,
                   kProgressBarRect.right - kProgressBarRect.left,
                   kProgressBarRect.bottom - kProgressBarRect.top, FALSE);
}
