// A stop of one installation, asked for when the window is closed while it installs. The
// worker's downloads and extractions watch it and give up at once; the replacement of the
// installation folder, once begun, does not: from there on the worker finishes, so that the
// folder and its recovery record are never left half done.
#pragma once

#include <atomic>

class InstallStop {
  public:
    // Clears the request: a new installation is being prepared.
    void Reset();

    // Asks the running installation to stop. False when it is too late: the worker has begun to
    // replace the installation folder. Any thread.
    bool Request();

    // Whether a stop was asked for in time; the worker's downloads and extractions poll it.
    bool Requested() const;

    // Called by the worker just before it begins to replace the installation folder: false when
    // a stop came first, and the worker must end instead; from a true answer on, stops are
    // refused.
    bool BeginFolderReplacement();

  private:
    enum Phase { kRunning, kStopping, kReplacing };
    std::atomic<int> phase_{kRunning};
};
