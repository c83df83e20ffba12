// The start of an installation, on the user-interface thread, when the button is pressed in Idle.
#include "core/install_worker.h"
#include "core/update_plan.h"
#include "ui/brivostel_dlg.h"
#include "ui/progress_bar.h"

void TBrivostelDlg::StartInstall() {
    PrepareInstallation();  // ends a running client, clears the staging folder, opens the log
    UpdateWindow(hwnd);     // the manifest download below blocks this thread
    ReadRemoteManifest(*this);
    state = InstallState::Installing;
    // Kept, unlike a fire-and-forget thread, so that the end of the dialog can wait for it.
    workerThread = reinterpret_cast<HANDLE>(StartInstallWorker(*this));
    if (progressBar != nullptr && IsWindow(progressBar->hwnd))
        MoveWindow(progressBar->hwnd, 34, 260, 434, 15, FALSE);
}
