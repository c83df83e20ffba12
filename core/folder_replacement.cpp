#include "core/folder_replacement.h"

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "core/install_log.h"
#include "core/settings.h"
#include "system/processes_and_files.h"

namespace {

constexpr char kSection[] = "swap";
constexpr char kMoving[] = "moving";
constexpr char kPlaced[] = "placed";
constexpr char kSeparator = '|';  // never part of a Windows path

bool Exists(const std::string& path) {
    return _access(path.c_str(), 0) == 0;
}

std::string ReadKey(const char* key) {
    char value[4096] = {};
    GetPrivateProfileStringA(kSection, key, "", value, sizeof value, SwapJournalPath().c_str());
    return value;
}

// One key of the journal; a null value removes it. A failure gives its log line.
bool WriteKey(const char* key, const char* value, std::string* failure) {
    const std::string path = SwapJournalPath();
    if (WritePrivateProfileStringA(kSection, key, value, path.c_str()))
        return true;
    if (failure != nullptr) {
        char line[1024] = {};
        std::snprintf(line, sizeof line, "Swap journal write Fail,path:%s,error:%lu", path.c_str(),
                      static_cast<unsigned long>(GetLastError()));
        *failure = line;
    }
    return false;
}

std::string Join(const std::vector<std::string>& folders) {
    std::string joined;
    for (const std::string& folder : folders)
        joined += (joined.empty() ? "" : std::string(1, kSeparator)) + folder;
    return joined;
}

// Renames a folder; a failure gives its log line.
bool RenameFolder(const std::string& from, const std::string& to, std::string* failure) {
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    char line[1024] = {};
    std::snprintf(line, sizeof line, "Rename Fail,from:%s,to:%s,errno:%d", from.c_str(), to.c_str(),
                  errno);
    if (failure != nullptr)
        *failure = line;
    return false;
}

// The first set-aside name that nothing occupies: a folder there that this installer did not
// set aside is never touched, and a leftover of an earlier swap is still to be deleted.
std::string FreeAsideFolder() {
    const std::string base = GetInstallerSettings().installFolder + "old";
    if (!Exists(base))
        return base;
    for (char digit = '2'; digit <= '9'; ++digit) {
        if (!Exists(base + digit))
            return base + digit;
    }
    return "";
}

bool MarkPlaced() {
    return WriteKey("state", kPlaced, nullptr);
}

// Moves the set-aside folder back under the installation's name. False when there is none (a
// first installation has no old copy to go back to) or it cannot move.
bool MoveAsideFolderBack(const SwapJournal& journal, std::vector<std::string>* report) {
    const std::string& installFolder = GetInstallerSettings().installFolder;
    if (journal.aside.empty() || !Exists(journal.aside))
        return false;
    std::string failure;
    if (!RenameFolder(journal.aside, installFolder, &failure)) {
        report->push_back(failure);
        return false;
    }
    report->push_back("Swap rolled back: the old installation is in place again");
    return true;
}

}  // namespace

std::string SwapJournalPath() {
    return GetInstallerSettings().installFolder + "swap.ini";
}

SwapJournal ReadSwapJournal() {
    SwapJournal journal;
    const std::string state = ReadKey("state");
    journal.state = state == kMoving   ? SwapState::Moving
                    : state == kPlaced ? SwapState::Placed
                                       : SwapState::None;
    journal.aside = ReadKey("aside");
    const std::string leftovers = ReadKey("leftovers");
    for (size_t start = 0; start < leftovers.size();) {
        size_t end = leftovers.find(kSeparator, start);
        if (end == std::string::npos)
            end = leftovers.size();
        if (end > start)
            journal.leftovers.push_back(leftovers.substr(start, end - start));
        start = end + 1;
    }
    return journal;
}

bool SwapUnderWay() {
    return ReadSwapJournal().state == SwapState::Moving;
}

bool MoveInstallFolderAside(std::string* failure) {
    const std::string& installFolder = GetInstallerSettings().installFolder;
    std::string aside;
    if (Exists(installFolder)) {
        aside = FreeAsideFolder();
        if (aside.empty()) {
            *failure = "No free set-aside folder,path:" + installFolder + "old";
            return false;
        }
    }
    // The state is written last: a journal cut short before it records no swap.
    if (!WriteKey("aside", aside.c_str(), failure) || !WriteKey("state", kMoving, failure)) {
        EndSwap();
        return false;
    }
    if (!aside.empty() && !RenameFolder(installFolder, aside, failure)) {
        EndSwap();
        return false;
    }
    return true;
}

bool MoveStagingFolderIntoPlace(std::string* failure) {
    const InstallerSettings& settings = GetInstallerSettings();
    if (RenameFolder(settings.stagingFolder, settings.installFolder, failure)) {
        MarkPlaced();  // without the mark, the next start sees the staging folder gone
        return true;
    }
    std::vector<std::string> report;
    if (MoveAsideFolderBack(ReadSwapJournal(), &report))
        EndSwap();
    return false;
}

void DeleteSetAsideFolders() {
    SwapJournal journal = ReadSwapJournal();
    std::vector<std::string> folders = journal.leftovers;
    // Only once the new installation is in place: before, the set-aside folder may be the only
    // old copy, or (a journal cut short) not the installer's at all.
    if (journal.state == SwapState::Placed && !journal.aside.empty())
        folders.push_back(journal.aside);
    else if (folders.empty())
        return;
    std::vector<std::string> kept;
    for (const std::string& folder : folders) {
        if (Exists(folder))
            DeleteFileTree(folder.c_str());
        if (Exists(folder)) {
            WriteInstallLog(("Delete Fail,path:" + folder).c_str());
            kept.push_back(folder);
        }
    }
    WriteKey("leftovers", kept.empty() ? nullptr : Join(kept).c_str(), nullptr);
    if (journal.state == SwapState::Placed)
        WriteKey("aside", nullptr, nullptr);
}

// The swap is over (done, or rolled back): only leftovers stay recorded.
void EndSwap() {
    if (ReadSwapJournal().leftovers.empty()) {
        DeleteFileA(SwapJournalPath().c_str());
        return;
    }
    WriteKey("state", nullptr, nullptr);
    WriteKey("aside", nullptr, nullptr);
}

SwapState FinishOrRollBackSwap(std::vector<std::string>* report) {
    const InstallerSettings& settings = GetInstallerSettings();
    SwapJournal journal = ReadSwapJournal();
    if (journal.state != SwapState::Moving)
        return journal.state;
    const bool staging = Exists(settings.stagingFolder);
    bool install = Exists(settings.installFolder);
    std::string failure;
    if (staging && install) {
        // Killed before the old installation moved: the swap goes on, unless the old folder
        // cannot move now (the client started from it again), which leaves it in place.
        if (journal.aside.empty() || Exists(journal.aside) ||
            !RenameFolder(settings.installFolder, journal.aside, &failure)) {
            if (!failure.empty())
                report->push_back(failure);
            report->push_back("Swap not begun: the old installation stays");
            EndSwap();
            return SwapState::None;
        }
        install = false;
    }
    if (staging && !install) {
        if (RenameFolder(settings.stagingFolder, settings.installFolder, &failure)) {
            report->push_back("Swap finished: the new installation moved into place");
            MarkPlaced();
            return SwapState::Placed;
        }
        report->push_back(failure);
        if (!MoveAsideFolderBack(journal, report))
            return SwapState::Moving;
        EndSwap();
        return SwapState::None;
    }
    if (install) {
        // The staging folder had already taken the installation's name.
        MarkPlaced();
        return SwapState::Placed;
    }
    // Neither folder is there: the old copy goes back, if it is anywhere.
    if (!journal.aside.empty() && Exists(journal.aside) && !MoveAsideFolderBack(journal, report))
        return SwapState::Moving;
    EndSwap();
    return SwapState::None;
}
