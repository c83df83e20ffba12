#include "core/install_stop.h"

void InstallStop::Reset() {
    phase_.store(kRunning);
}

bool InstallStop::Request() {
    int expected = kRunning;
    return phase_.compare_exchange_strong(expected, kStopping) || expected == kStopping;
}

bool InstallStop::Requested() const {
    return phase_.load() == kStopping;
}

bool InstallStop::BeginFolderReplacement() {
    int expected = kRunning;
    return phase_.compare_exchange_strong(expected, kReplacing) || expected == kReplacing;
}
