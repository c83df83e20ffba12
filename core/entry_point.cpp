// The program's entry: one installer at a time, the search path repaired, the shared settings and
// drawing objects made, the installer dialog run on this stack until it closes, everything torn
// down in order; the exit code is 0 whatever happened.
#include <windows.h>

#include "core/search_path.h"
#include "core/settings.h"
#include "ui/brivostel_dlg.h"
#include "ui/single_instance.h"

namespace {

void DeleteSharedResources() {
    DeleteObject(WhiteBrush);
    DeleteObject(CaptionFont);
    DeleteObject(ButtonFont);
    DeleteObject(BannerFont);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // A second installer would clear the staging folder the running one builds in.
    if (!ClaimSingleInstance())
        return 0;
    RepairSearchPath();
    InitSharedResources();
    {
        TBrivostelDlg dialog;
        dialog.RunModal();
        // The shared objects go first; the dialog ends with this scope (its progress bar, the
        // install log, the staging folder after a failure).
        DeleteSharedResources();
    }
    return 0;
}
