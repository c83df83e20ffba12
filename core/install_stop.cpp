#include "core/install_stop.h"

#include <atomic>

namespace {

enum Phase { kRunning, kStopping, kReplacing };

std::atomic<int> phase{kRunning};

}  // namespace

void ResetInstallStop() {
    phase.store(kRunning);
}

bool RequestInstallStop() {
    int expected = kRunning;
    return phase.compare_exchange_strong(expected, kStopping) || expected == kStopping;
}

bool InstallStopRequested() {
    return phase.load() == kStopping;
}

bool BeginFolderReplacement() {
    int expected = kRunning;
    return phase.compare_exchange_strong(expected, kReplacing) || expected == kReplacing;
}
