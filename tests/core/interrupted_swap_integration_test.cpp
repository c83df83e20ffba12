// The swap of the installation folder as a killed run leaves it, and what the next start makes
// of it: every state of the folders and the journal that a kill can leave ends with one complete
// installation under the installation's name, registered, and nothing set aside. Also the
// set-aside folders: one the installer did not make is never deleted, one it cannot delete is
// logged and deleted by a later run.
#include "core/folder_replacement.h"
#include "core/installation_completion.h"
#include "core/staging_folder.h"

#include "install_fixture.h"
#include "reports.h"

#include <fcntl.h>
#include <stdio.h>

namespace installtest {
namespace {

namespace fs = std::filesystem;

const char kFolder[] = "C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5";

class InterruptedSwapTest : public InstallTest {
  public:
    // A complete run of the new release (9.5.7.2), then the registry forgotten: what a run
    // killed in its swap had built.
    void InstallNewRelease() {
        std::vector<Notification> notes = RunInstallation();
        ASSERT_EQ(Last(notes, 1), "D");
        fs::remove_all(winroot.root() / "registry");
        GetInstallerSettings().installedVersion.clear();
    }
    fs::path Aside(const char* suffix = "old") const { return InstallFolder().string() + suffix; }
    fs::path Journal() const { return InstallFolder().string() + "swap.ini"; }
    static void MakeOldRelease(const fs::path& folder) {
        testsupport::WriteFileBytes(folder / "old.txt", "old");
        testsupport::WriteFileBytes(folder / "update.ini", "[version]\r\ncur=9.5.6.0\r\n");
        testsupport::WriteFileBytes(folder / "log/install.log", "");
    }
    void WriteJournal(const std::string& aside, const char* state, const char* leftovers = "") {
        std::string text = "[swap]\r\naside=" + aside + "\r\n";
        if (*leftovers != '\0')
            text += std::string("leftovers=") + leftovers + "\r\n";
        if (*state != '\0')
            text += std::string("state=") + state + "\r\n";
        testsupport::WriteFileBytes(Journal(), text);
    }
    std::string Hklm() const {
        return fs::exists(winroot.root() / "registry/HKLM.reg")
                   ? Read(winroot.root() / "registry/HKLM.reg")
                   : "";
    }
    void ExpectNewInstalledAndRegistered() {
        EXPECT_EQ(Read(InstallFolder() / "runtime/version.txt"), kFix);
        EXPECT_FALSE(fs::exists(InstallFolder() / "old.txt"));
        EXPECT_TRUE(fs::exists(InstallFolder() / "config/brivostel.Default.pri"));
        EXPECT_FALSE(fs::exists(StagingFolder()));
        EXPECT_FALSE(fs::exists(Aside()));
        EXPECT_FALSE(fs::exists(Journal()));
        EXPECT_NE(Hklm().find("\"DisplayVersion\"=\"9.5.7.2\""), std::string::npos) << Hklm();
        EXPECT_TRUE(fs::exists(winroot.root() / "registry/HKCR.reg"));
    }
    void ExpectOldInPlace() {
        EXPECT_EQ(Read(InstallFolder() / "old.txt"), "old");
        EXPECT_FALSE(fs::exists(Aside()));
        EXPECT_FALSE(fs::exists(Journal()));
    }
    std::vector<std::string> InstallLog() {
        CloseInstallLog();
        return testsupport::InstallLogTexts(Read(InstallFolder() / "log/install.log"));
    }
    bool Logged(const std::string& line) {
        std::vector<std::string> log = InstallLog();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

// <windows.h> maps rename onto the runtime call that takes Windows paths; this is the POSIX one.
void MoveFolder(const fs::path& from, const fs::path& to) {
    ASSERT_EQ(renameat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str()), 0) << from;
}

// Holds a file open without delete sharing, as another program can: the folder that holds it
// can be neither renamed nor deleted.
class HeldFile {
  public:
    explicit HeldFile(const fs::path& path) {
        testsupport::WriteFileBytes(path, "held");
        handle_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    ~HeldFile() { Release(); }
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(InterruptedSwapTest, EveryStateAKillLeavesEndsWithOneRegisteredInstallation) {
    // The folders as a kill at each point of the swap leaves them: what the installation
    // folder holds, whether the staging folder holds the new release and the set-aside folder
    // the old one, and the journal's state.
    struct Kill {
        const char* where;
        const char* install;
        bool staging, aside;
        const char* state;
        bool endsNew;
    };
    const Kill kills[] = {
        {"journal cut short", "old", true, false, "", false},
        {"before the old folder moved", "old", true, false, "moving", true},
        {"between the two moves", "", true, true, "moving", true},
        {"between the second move and its mark", "new", false, true, "moving", true},
        {"while the old copy is deleted", "new", false, true, "placed", true},
        {"while registering", "new", false, false, "placed", true},
        {"staging folder gone, old one set aside", "", false, true, "moving", false},
    };
    for (const Kill& kill : kills) {
        SCOPED_TRACE(kill.where);
        fs::remove_all(InstallFolder());
        fs::remove_all(Aside());
        fs::remove(Journal());
        InstallNewRelease();
        if (kill.staging)
            MoveFolder(InstallFolder(), StagingFolder());
        else if (std::string(kill.install) != "new")
            fs::remove_all(InstallFolder());
        if (std::string(kill.install) == "old")
            MakeOldRelease(InstallFolder());
        if (kill.aside)
            MakeOldRelease(Aside());
        WriteJournal(std::string(kFolder) + "old", kill.state);

        RecoverInterruptedInstallation();
        if (kill.endsNew) {
            ExpectNewInstalledAndRegistered();
        } else if (*kill.state == '\0') {
            // No swap was recorded: the old installation stays, the staging folder is an
            // ordinary leftover that the next installation empties.
            ExpectOldInPlace();
            EXPECT_TRUE(ClearStagingFolder());
        } else {
            ExpectOldInPlace();
            EXPECT_FALSE(fs::exists(StagingFolder()));
        }
        fs::remove_all(StagingFolder());
    }
}

TEST_F(InterruptedSwapTest, ARecoveryThatCannotMoveKeepsBothCopiesAndNoRunDeletesThem) {
    // Killed between the moves of a first installation; the staging folder cannot move now.
    InstallNewRelease();
    MoveFolder(InstallFolder(), StagingFolder());
    WriteJournal("", "moving");
    auto held = std::make_unique<HeldFile>(StagingFolder() / "held.txt");
    RecoverInterruptedInstallation();
    EXPECT_FALSE(fs::exists(InstallFolder()));
    EXPECT_TRUE(SwapUnderWay());

    // A run that starts now (and would fail: the server is gone) does not empty the folder
    // that holds the only complete copy, and downloads nothing into it.
    bucket.clearRequests();
    std::vector<Notification> notes = RunInstallation();
    EXPECT_EQ(Condense(notes), "F11");
    EXPECT_TRUE(bucket.requests().empty());
    RemoveStagingFolderAfterFailure();
    EXPECT_EQ(Read(StagingFolder() / "runtime/version.txt"), kFix);

    CloseInstallLog();  // as the window does on the failure
    held->Release();
    fs::remove(StagingFolder() / "held.txt");
    RecoverInterruptedInstallation();
    ExpectNewInstalledAndRegistered();
    EXPECT_TRUE(Logged("Swap finished: the new installation moved into place"));
}

TEST_F(InterruptedSwapTest, AFolderNamedLikeTheSetAsideOneThatTheInstallerDidNotMakeStays) {
    MakeOldRelease(InstallFolder());
    testsupport::WriteFileBytes(Aside() / "mine.txt", "the user's");
    std::vector<Notification> notes = RunInstallation();
    EXPECT_EQ(Last(notes, 1), "D");
    EXPECT_EQ(Read(Aside() / "mine.txt"), "the user's");
    EXPECT_FALSE(fs::exists(Aside("old2")));
    EXPECT_FALSE(fs::exists(Journal()));
    EXPECT_EQ(Read(InstallFolder() / "runtime/version.txt"), kFix);

    // Nor at the start of a later run, when a run killed while writing its journal named it.
    WriteJournal(std::string(kFolder) + "old", "");
    RecoverInterruptedInstallation();
    EXPECT_FALSE(fs::exists(Journal()));
    EXPECT_EQ(Read(Aside() / "mine.txt"), "the user's");
}

TEST_F(InterruptedSwapTest, ASetAsideCopyThatCannotBeDeletedIsLoggedAndDeletedByALaterRun) {
    InstallNewRelease();
    MakeOldRelease(Aside());
    auto held = std::make_unique<HeldFile>(Aside() / "held.txt");
    WriteJournal(std::string(kFolder) + "old", "placed");
    RecoverInterruptedInstallation();
    // The installation is complete and registered; the copy stays, named in the log and the
    // journal.
    EXPECT_NE(Hklm().find("\"DisplayVersion\"=\"9.5.7.2\""), std::string::npos) << Hklm();
    EXPECT_TRUE(fs::exists(Aside() / "held.txt"));
    EXPECT_TRUE(Logged("Delete Fail,path:" + std::string(kFolder) + "old"));
    EXPECT_EQ(ReadSwapJournal().leftovers, std::vector<std::string>{std::string(kFolder) + "old"});
    EXPECT_FALSE(SwapUnderWay());

    // A new installation meanwhile sets the old one aside under another name.
    std::vector<Notification> notes = RunInstallation();
    EXPECT_EQ(Last(notes, 1), "D");
    EXPECT_FALSE(fs::exists(Aside("old2")));
    EXPECT_TRUE(fs::exists(Aside() / "held.txt"));

    held->Release();
    RecoverInterruptedInstallation();
    EXPECT_FALSE(fs::exists(Aside()));
    EXPECT_FALSE(fs::exists(Journal()));
}

TEST_F(InterruptedSwapTest, TheClientSettingsAreInTheFolderBeforeItTakesTheInstallationsPlace) {
    MakeOldRelease(InstallFolder());
    PrepareForWorker();
    // The installation folder cannot be moved aside: the run ends before the swap, and the
    // staging folder shows what it held at that point.
    HeldFile held(InstallFolder() / "held.txt");
    std::vector<Notification> notes = RunWorker();
    EXPECT_EQ(Last(notes, 1), "F14");
    const fs::path config = StagingFolder() / "config";
    char value[64] = {};
    GetPrivateProfileStringA("brivostel", "package", "", value, sizeof value,
                             (config / "brivostel.Default.pub").c_str());
    EXPECT_STREQ(value, "471203");
    GetPrivateProfileStringA("brivostel", "language", "", value, sizeof value,
                             (config / "brivostel.Default.pri").c_str());
    EXPECT_STREQ(value, "2052");
    EXPECT_FALSE(fs::exists(Journal()));  // no swap is recorded for a move that never began
}

TEST_F(InterruptedSwapTest, TheLogOfAFailedAttemptIsKeptAndTheNextRunCarriesItOver) {
    MakeOldRelease(InstallFolder());
    const std::string runtime = std::string(kRemote) + "/fix/" + kFix + ".zip";
    const std::string package = Read(bucket.objectFile(runtime));
    RemoveObject(std::string("/fix/") + kFix + ".zip");
    std::vector<Notification> notes = RunInstallation();
    EXPECT_EQ(Last(notes, 1), "F4");
    CloseInstallLog();  // as the window does on the failure
    RemoveStagingFolderAfterFailure();
    EXPECT_FALSE(fs::exists(StagingFolder()));
    const fs::path kept = InstallFolder().string() + "failed.log";
    const std::vector<std::string> failed = testsupport::InstallLogTexts(Read(kept));
    ASSERT_FALSE(failed.empty());
    const std::string failureLine = failed.back();  // 下载运行库失败

    bucket.putObject(runtime, package);
    notes = RunInstallation();
    EXPECT_EQ(Last(notes, 1), "D");
    EXPECT_FALSE(fs::exists(kept));
    std::vector<std::string> log = InstallLog();
    const auto header =
        std::find(log.begin(), log.end(), "Log of the earlier attempt that failed:");
    ASSERT_NE(header, log.end());
    EXPECT_EQ(std::count_if(header, log.end(),
                            [&](const std::string& line) {
                                return line.size() > failureLine.size() &&
                                       line.compare(line.size() - failureLine.size(),
                                                    failureLine.size(), failureLine) == 0;
                            }),
              1);
}

}  // namespace
}  // namespace installtest
