// The installer's only window: 500 × 310, borderless, top-most, drawn by the program, centred on
// the monitor under the pointer. It shows the broker code and one button, follows the install
// worker's notifications with a step text, a percentage and a progress bar, and after success
// starts the installed client. It is also the IClient record the worker receives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/iclient.h"
#include "ui/modal_wnd.h"

class TProcess;

enum class InstallState : std::int32_t { Idle = 0, Installing = 1, Failed = 2, Finished = 3 };

// Resources of the dialog.
inline constexpr WORD kIdleBitmap = 101;        // Idle and Finished
inline constexpr WORD kInstallingBitmap = 104;  // Installing and Failed
inline constexpr WORD kWindowIcon = 102;

inline constexpr WCHAR kDialogTitle[] = TEXT("\u8FDC\u5E06");  // 远帆, in every language
inline constexpr int kDialogWidth = 500;
inline constexpr int kDialogHeight = 310;

class TBrivostelDlg : public TModalWnd, public IClient {
  public:
    TBrivostelDlg();
    // Waits for a running install worker to stop (it stops before replacing the installation
    // folder, or finishes once it has begun to), then deletes the progress bar, closes the
    // install log and, after a failed or stopped installation, removes the staging folder.
    ~TBrivostelDlg();

    TProcess* progressBar = nullptr;
    std::basic_string<WCHAR>
        statusText;  // the current step, or the failed step with the failure word
    RECT statusRect{};
    RECT buttonRect{};
    RECT codeRect{};
    RECT waitRect{};
    InstallState state = InstallState::Idle;
    bool buttonHover = false;
    HANDLE workerThread = nullptr;  // the install worker, waited for at the end
    bool starting = false;          // StartInstall runs (nested message loops may come back)

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnInit() override;
    void PlaceOnScreen() override;
    // Asks a running installation to stop, pauses 500 ms, then ends the modal loop and destroys
    // the window. Reached in every state by the system's close (WM_SYSCOMMAND SC_CLOSE); the
    // cross stays inactive while installing.
    void CloseModal() override;

    // The button in Idle: ends a running client, prepares the staging folder and the log, reads
    // the remote manifest, turns Installing, starts the worker and places the progress bar.
    void StartInstall();

  protected:
    // The state's bitmap, the close cross (but while installing), the broker code in Idle and
    // Finished, and the state's own content.
    void PaintContent(HDC dc, const RECT& client) override;

  private:
    void Layout();
    // The button in Idle and Finished; the step text, the percentage and the banner while
    // installing; the failed step after a failure.
    void DrawStateContent(HDC dc);
    void DrawButton(HDC dc);
    void OnButtonPressed();
};
