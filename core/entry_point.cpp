// The program's entry: the search path repaired, the shared settings and drawing objects made,
// the installer dialog run on this stack until it closes, everything torn down in order; the
// exit code is 0 whatever happened.
#include <windows.h>

#include "core/search_path.h"
#include "core/settings.h"
#include "ui/brivostel_dlg.h"

namespace {

void DeleteSharedResources() {
    DeleteObject(WhiteBrush);
    DeleteObject(CaptionFont);
    DeleteObject(ButtonFont);
    DeleteObject(BannerFont);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
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
