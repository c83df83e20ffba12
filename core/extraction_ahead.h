// Extraction ahead of the install steps: while the worker downloads the later packages, a thread
// of its own extracts the packages that have arrived into the staging folder, in the order their
// install steps will come. Nothing of it shows: it logs nothing, posts nothing and asks nothing.
// Each install step then takes the package that was extracted ahead, or extracts it itself as
// before where the thread did not get to it or failed, so what users see, the log and the
// progress keep their order, and a package that fails ahead fails again, in its own step.
//
// The thread stops at the first package it cannot extract whole (damaged, missing, a file that
// cannot be replaced, a stop asked for) and leaves that package and all after it to the steps:
// later packages overwrite files of earlier ones, so none is extracted before the one ahead of
// it is complete. Packages that are one file (two versions alike) are not extracted ahead at all.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/install_stop.h"

class ExtractionAhead {
  public:
    struct Package {
        std::string archive;  // the package file, a Windows path
        std::string folder;   // where it is extracted
    };

    // `packages` in the order of their install steps; `stop` ends an extraction under way.
    ExtractionAhead(std::vector<Package> packages, const InstallStop& stop);
    // Gives up what is under way (the steps redo nothing after this) and waits for the thread.
    ~ExtractionAhead();
    ExtractionAhead(const ExtractionAhead&) = delete;
    ExtractionAhead& operator=(const ExtractionAhead&) = delete;

    // The package file `archive` is complete and checked: it may be extracted once those before
    // it are. Unknown files are ignored.
    void Arrived(const std::string& archive);

    // Called by the install step of `archive`, once every download is over: waits for the thread
    // to finish that package or to stop. True when the package was extracted whole; false when
    // the step must extract it itself.
    bool TakeExtracted(const std::string& archive);

  private:
    void Run();
    bool Abandoned() const;

    const std::vector<Package> packages;
    const InstallStop& stop;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<bool> arrived;
    std::size_t extracted = 0;   // packages[0, extracted) are extracted whole
    bool downloadsOver = false;  // nothing more will arrive
    bool ended = false;          // the thread extracts nothing more
    bool abandoned = false;
    std::thread thread;
};
