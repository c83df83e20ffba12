// The installer dialog: construction, initialisation, the messages it handles, closing and the
// end of the object.
#include "ui/brivostel_dlg.h"

#include "core/install_log.h"
#include "core/install_notifications.h"
#include "core/installation_completion.h"
#include "core/package_download.h"
#include "core/settings.h"
#include "core/staging_folder.h"
#include "system/processes_and_files.h"
#include "ui/localized_texts.h"
#include "ui/progress_bar.h"

namespace {

constexpr DWORD kClosePauseMs = 500;
constexpr int kFailureWord = 6;

}  // namespace

TBrivostelDlg::TBrivostelDlg() {
    remoteFolder = kRemoteFolder;
}

TBrivostelDlg::~TBrivostelDlg() {
    // The worker uses this object (its IClient part) and the settings: let it reach a safe end
    // before anything it touches goes away. A stopped worker ends within a second; one that has
    // begun to replace the installation folder finishes first.
    bool failed = state == InstallState::Failed;
    if (workerThread != nullptr) {
        installStop.Request();
        WaitForSingleObject(workerThread, INFINITE);
        // A worker that did not succeed (stopped by the close, or failed after the loop ended)
        // leaves its staging folder as a failure does.
        DWORD result = 0;
        if (GetExitCodeThread(workerThread, &result))
            failed = result != 1;
        CloseHandle(workerThread);
        workerThread = nullptr;
    }
    // A loop ended by WM_QUIT leaves the window: destroy it while its objects still exist.
    if (hwnd != nullptr && IsWindow(hwnd))
        DestroyWindow(hwnd);
    delete progressBar;
    progressBar = nullptr;
    CloseInstallLog();
    if (failed)
        RemoveStagingFolderAfterFailure();
}

void TBrivostelDlg::OnInit() {
    SetWindowTextW(hwnd, kDialogTitle);

    progressBar = new TProcess();
    progressBar->Create(TEXT("TProcess"), hwnd, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0);

    InstallerWindow = hwnd;
    GetInstallerSettings().ComputeFolders();
    RecoverInterruptedInstallation();  // before anything else touches the folders

    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kWindowIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    CreateStorageClient(*this);
}

void TBrivostelDlg::CloseModal() {
    // A close while installing (the system's close: Alt+F4, the task bar, the end of the session)
    // stops the worker's download or extraction during the pause rather than after it.
    installStop.Request();
    Sleep(kClosePauseMs);
    TModalWnd::CloseModal();
}

void TBrivostelDlg::Layout() {
    RECT client{};
    GetClientRect(hwnd, &client);
    const LONG R = client.right;
    const LONG B = client.bottom;
    captionRect = client;
    captionRect.bottom = 30;
    buttonRect = {200, B - 108, 300, B - 72};
    codeRect = buttonRect;
    OffsetRect(&codeRect, 0, -60);
    statusRect = {R - 468, B - 76, R - 34, B - 56};
    waitRect = {181, 96, 461, 123};
}

void TBrivostelDlg::OnButtonPressed() {
    switch (state) {
        case InstallState::Idle:
            StartInstall();
            break;
        case InstallState::Finished:
            ShowWindow(hwnd, SW_HIDE);
            LaunchClient();  // the dialog closes whether the client started or not
            CloseModal();
            break;
        case InstallState::Installing:
        case InstallState::Failed:
            break;
    }
}

LRESULT TBrivostelDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_MOUSEMOVE: {
            TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&track);
            buttonHover = PointerIn(buttonRect);
            closeHover = PointerIn(closeRect);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (PointerIn(buttonRect))
                OnButtonPressed();
            else
                StartDrag(wParam, lParam);
            return 0;
        case WM_LBUTTONUP:
            if (PointerIn(closeRect) && state != InstallState::Installing)
                CloseModal();
            return 0;
        case WM_MOUSELEAVE:
            buttonHover = false;  // closeHover keeps its value until the next move
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_INSTALL_PROGRESS:
            if (progressBar != nullptr) {
                progressBar->position = static_cast<std::int32_t>(lParam);
                InvalidateRect(progressBar->hwnd, nullptr, FALSE);
            }
            state = InstallState::Installing;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_INSTALL_DONE:
            state = InstallState::Finished;
            if (progressBar != nullptr)
                ShowWindow(progressBar->hwnd, SW_HIDE);
            InvalidateRect(hwnd, nullptr, FALSE);
            UpdateWindow(hwnd);
            return 0;
        case WM_INSTALL_FAILED:
            CloseInstallLog();
            state = InstallState::Failed;
            statusText = StepText(static_cast<int>(lParam));
            statusText += UiText(kFailureWord);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_INSTALL_STEP:
            statusText = StepText(static_cast<int>(lParam));
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        default:
            return TModalWnd::HandleMessage(message, wParam, lParam);
    }
}
