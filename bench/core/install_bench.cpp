// Runs one whole installation through the install worker against ENDPOINT (nginx serving a
// sample release) in a fresh WINROOT, pumping the install notifications on the main thread as
// the dialog does, and prints the wall-clock seconds, the outcome and the peak resident memory.
// Run by bench/run_all.py (./run bench) beside curl then bsdtar; usage:
//   core_install_bench ENDPOINT
#include <sys/resource.h>
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "core/iclient.h"
#include "core/install_notifications.h"
#include "core/install_preparation.h"
#include "core/install_worker.h"
#include "core/package_download.h"
#include "core/settings.h"
#include "core/testing/package_download.h"
#include "core/update_plan.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ENDPOINT\n", argv[0]);
        return 2;
    }
    InstallerSettings& settings = GetInstallerSettings();
    settings.brokerCode = "471203";
    settings.brokerName = "bench";
    settings.uiLanguage = 2052;
    settings.ComputeFolders();

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = u"InstallBench";
    RegisterClassExW(&windowClass);
    InstallerWindow = CreateWindowExW(0, u"InstallBench", u"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);

    IClient client;
    CreateStorageClient(client, argv[1]);
    const auto start = std::chrono::steady_clock::now();
    PrepareInstallation(client);
    ReadRemoteManifest(client);
    HANDLE worker = StartInstallWorker(client);
    const char* outcome = "none";
    long messages = 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ++messages;
        if (msg.message == WM_INSTALL_DONE || msg.message == WM_INSTALL_FAILED) {
            outcome = msg.message == WM_INSTALL_DONE ? "done" : "failed";
            break;
        }
    }
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("worker %s seconds %.3f messages %ld peak_kb %ld\n", outcome, seconds, messages,
                usage.ru_maxrss);
    return outcome[0] == 'd' ? 0 : 1;
}
