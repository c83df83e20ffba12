// The install worker against a local bucket serving the sample release: the notifications it
// posts, what it leaves on disk and in the registry, and how every failure keeps the old
// installation.
#include "core/install_worker.h"

#include "install_fixture.h"
#include "reports.h"

#include <functional>

namespace installtest {
namespace {

namespace fs = std::filesystem;

const char kFolder[] = "C:\\Users\\user1\\AppData\\Local\\BRivostel471203v9.5";
const char kBrokerNameUtf8[] = "\xe5\x87\xaf\xe9\xbb\x98(\xe9\xa6\x99\xe6\xb8\xaf)";

// The worker's log lines in code page 936.
const char kDownloadDependency[] = "\xcf\xc2\xd4\xd8\xc7\xb0\xb6\xcb\xd2\xc0\xc0\xb5\xbf\xe2";
const char kDownloadBase[] = "\xcf\xc2\xd4\xd8\xb7\xfe\xce\xf1\xd2\xc0\xc0\xb5\xbf\xe2";
const char kDownloadConfiguration[] = "\xcf\xc2\xd4\xd8\xc5\xe4\xd6\xc3\xce\xc4\xbc\xfe";
const char kDownloadRuntime[] = "\xcf\xc2\xd4\xd8\xd4\xcb\xd0\xd0\xbf\xe2";
const char kDownloadQuant[] = "\xcf\xc2\xd4\xd8Quant";
const char kInstallDependency[] = "\xb0\xb2\xd7\xb0\xc7\xb0\xb6\xcb\xd2\xc0\xc0\xb5\xbf\xe2";
const char kInstallBase[] = "\xb0\xb2\xd7\xb0\xb7\xfe\xce\xf1\xd2\xc0\xc0\xb5\xbf\xe2";
const char kInstallRuntime[] = "\xb0\xb2\xd7\xb0\xd4\xcb\xd0\xd0\xbf\xe2";
const char kInstallConfiguration[] = "\xb0\xb2\xd7\xb0\xc5\xe4\xd6\xc3\xce\xc4\xbc\xfe";
const char kInstallQuant[] = "\xb0\xb2\xd7\xb0Quant\xd4\xcb\xd0\xd0\xbf\xe2";
const char kCleanUp[] = "\xc7\xe5\xc0\xed\xb0\xb2\xd7\xb0\xce\xc4\xbc\xfe";
const char kSaveVersions[] = "\xb1\xa3\xb4\xe6\xb8\xfc\xd0\xc2\xb0\xe6\xb1\xbe\xd0\xc5\xcf\xa2";
const char kDeleteOld[] = "\xc9\xbe\xb3\xfd\xd4\xb4\xce\xc4\xbc\xfe";
const char kMoveNew[] =
    "\xb8\xb4\xd6\xc6\xd0\xc2\xb0\xe6\xb1\xbe\xca\xfd\xbe\xdd\xb5\xbd\xd4\xad\xc4\xbf\xc2\xbc";
const char kFailed[] = "\xca\xa7\xb0\xdc";                            // 失败
const char kMissing[] = ",\xce\xc4\xbc\xfe\xb2\xbb\xb4\xe6\xd4\xda";  // ,文件不存在

std::string Ini(const fs::path& file, const char* section, const char* key) {
    char value[260] = {};
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, file.c_str());
    return value;
}

class InstallWorkerTest : public InstallTest {
  public:
    // An earlier installation that every failure must leave as it was.
    void MakeOldInstallation() {
        testsupport::WriteFileBytes(InstallFolder() / "old.txt", "old");
        testsupport::WriteFileBytes(InstallFolder() / "update.ini", "[version]\r\ncur=9.5.6.0\r\n");
    }
    void ExpectOldInstallationIntact() {
        EXPECT_EQ(Read(InstallFolder() / "old.txt"), "old");
        EXPECT_EQ(Ini(InstallFolder() / "update.ini", "version", "cur"), "9.5.6.0");
        EXPECT_FALSE(fs::exists(InstallFolder() / "shared"));
        EXPECT_FALSE(fs::exists(InstallFolder().string() + "old"));
    }
    std::vector<std::string> LogOf(const fs::path& folder) {
        CloseInstallLog();
        return testsupport::InstallLogTexts(Read(folder / "log/install.log"));
    }
    // The worker's lines of a complete run, up to the move.
    static std::vector<std::string> WorkerLines(bool withQuant) {
        std::vector<std::string> lines = {"Version: IE_9.5.7.1", kDownloadDependency, kDownloadBase,
                                          kDownloadConfiguration, kDownloadRuntime};
        if (withQuant)
            lines.push_back(kDownloadQuant);
        for (const char* line :
             {kInstallDependency, kInstallBase, kInstallRuntime, kInstallConfiguration})
            lines.push_back(line);
        if (withQuant)
            lines.push_back(kInstallQuant);
        for (const char* line : {kCleanUp, kSaveVersions, kDeleteOld, kMoveNew})
            lines.push_back(line);
        return lines;
    }
    void ExpectInstalled(bool withQuant) {
        EXPECT_FALSE(fs::exists(StagingFolder()));
        EXPECT_FALSE(fs::exists(InstallFolder().string() + "old"));
        EXPECT_FALSE(fs::exists(InstallFolder() / "old.txt"));
        // Every package's files; later packages overwrite earlier ones in extraction order.
        EXPECT_TRUE(fs::is_regular_file(InstallFolder() / "brivostel v9.5.exe"));
        EXPECT_TRUE(fs::is_regular_file(InstallFolder() / "uninstall.exe"));
        EXPECT_EQ(Read(InstallFolder() / "Server/lib/a/b/c/deep.txt"), "deep\r\n");
        EXPECT_EQ(Read(InstallFolder() / "\xe6\x95\xb0\xe6\x8d\xae/\xe8\xa1\x8c\xe6\x83\x85.txt"),
                  "\xd0\xd0\xc7\xe9\xca\xfd\xbe\xdd");  // 数据\行情.txt holding 行情数据 (GBK)
        EXPECT_EQ(Read(InstallFolder() / "runtime/version.txt"), kFix);
        EXPECT_EQ(Read(InstallFolder() / "shared/base_runtime.txt"), "runtime");
        EXPECT_EQ(Read(InstallFolder() / "shared/config_runtime.txt"), "config");
        EXPECT_EQ(Read(InstallFolder() / "shared/owner.txt"), withQuant ? "quant" : "config");
        EXPECT_EQ(fs::exists(InstallFolder() / "quant/strategy.txt"), withQuant);
        for (const char* name :
             {"summary.ini", "base.zip", "config.zip", "9.5.7.2.zip", "9.5.1.3.zip"})
            EXPECT_FALSE(fs::exists(InstallFolder() / name)) << name;

        const fs::path manifest = InstallFolder() / "update.ini";
        EXPECT_EQ(Ini(manifest, "cfgstamp", "time"), "20261209");
        EXPECT_EQ(Ini(manifest, "version", "cur"), kFix);
        EXPECT_EQ(Ini(manifest, "version", "quant"), withQuant ? kQuant : "");
        EXPECT_EQ(GetInstallerSettings().installedVersion, kFix);

        const fs::path config = InstallFolder() / "config";
        EXPECT_EQ(Ini(config / "brivostel.Default.pub", "brivostel", "package"), "471203");
        EXPECT_EQ(Ini(config / "brivostel.Default.pub", "brivostel", "theme"), "dark");
        EXPECT_EQ(Ini(config / "brivostel.Default.pri", "brivostel", "language"), "2052");

        std::vector<std::string> log = LogOf(InstallFolder());
        std::vector<std::string> worker = WorkerLines(withQuant);
        ASSERT_GT(log.size(), worker.size());
        EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + worker.size()), worker);
        EXPECT_EQ(log.back(), "IPersistFile::Save : 0");
        EXPECT_NE(std::find(log.begin(), log.end(), "URL Schemes: Finish"), log.end());

        const std::string hklm = Read(winroot.root() / "registry/HKLM.reg");
        EXPECT_NE(hklm.find("Uninstall\\Brivostel_471203v9.5]"), std::string::npos) << hklm;
        EXPECT_NE(hklm.find("\"DisplayVersion\"=\"9.5.7.2\""), std::string::npos) << hklm;
        EXPECT_NE(hklm.find("uninstall.exe"), std::string::npos) << hklm;
        const std::string hkcr = Read(winroot.root() / "registry/HKCR.reg");
        EXPECT_NE(hkcr.find("[HKEY_CLASSES_ROOT\\BRivostel471203\\shell\\open\\command]"),
                  std::string::npos)
            << hkcr;

        const std::string report =
            testsupport::LnkInfo(winroot.driveC() / "Users/Public/Desktop" /
                                 (std::string(kBrokerNameUtf8) + "v9.5.lnk"));
        EXPECT_EQ(testsupport::LnkInfoField(report, "Local path"),
                  std::string(kFolder) + "\\brivostel v9.5.exe")
            << report;
        EXPECT_EQ(testsupport::LnkInfoField(report, "Icon location"),
                  std::string(kFolder) + "\\Server\\config\\shortcut\\shortcut471203.ico")
            << report;
    }
};

TEST_F(InstallWorkerTest, CompleteRunWithoutQuantPostsEveryStepAndInstallsEverything) {
    PublishSampleRelease(false);
    MakeOldInstallation();
    std::vector<Notification> notes = RunInstallation();
    EXPECT_EQ(Condense(notes),
              "P16 S2 P32 S3 P48 S4 P64 S6 S7 P66 S9 P68 S8 P70 S11 S12 S13 P80 D");
    EXPECT_EQ(Last(notes, 5), "S13 P75 P79 P80 D");
    EXPECT_EQ(client.plannedDownloads, 5);
    EXPECT_EQ(client.completedDownloads, 4);
    ExpectInstalled(false);
}

TEST_F(InstallWorkerTest, CompleteRunWithQuantRestartsTheBarAndExtractsQuantLast) {
    MakeOldInstallation();
    std::vector<Notification> notes = RunInstallation();
    EXPECT_EQ(Condense(notes),
              "P16 S2 P26 S3 P40 S4 P53 S5 P66 S6 S7 P67 S9 P68 S8 P69 S10 P70 "
              "S11 S12 S13 P80 D");
    EXPECT_EQ(Last(notes, 5), "S13 P75 P79 P80 D");
    // The bar restarts within the base package's part once the manifest adds the Quant package.
    auto step2 = std::find_if(notes.begin(), notes.end(), [](const Notification& note) {
        return note.message == WM_INSTALL_STEP && note.value == 2;
    });
    ASSERT_NE(step2 + 1, notes.end());
    EXPECT_EQ((step2 + 1)->message, WM_INSTALL_PROGRESS);
    EXPECT_GE((step2 + 1)->value, 13);
    EXPECT_EQ(client.plannedDownloads, 6);
    ExpectInstalled(true);
}

// A Quant version equal to the runtime's names one package file for both: the Quant download
// replaces the runtime's file, and both install steps extract what it then holds, the Quant
// package, exactly as when the steps ran one by one.
TEST_F(InstallWorkerTest, AQuantVersionEqualToTheRuntimesInstallsWhatTheSharedFileHoldsLast) {
    PutManifest(
        "[cfgstamp]\r\ntime=20261209\r\n[fixstamp]\r\n471203=9.5.7.2\r\n"
        "[quant]\r\n471203=9.5.7.2\r\n");
    bucket.putObject(std::string(kRemote) + "/quant/" + kFix + ".zip",
                     testsupport::ReadFileBytes(
                         bucket.objectFile(std::string(kRemote) + "/quant/" + kQuant + ".zip")));
    std::vector<Notification> notes = RunInstallation();
    EXPECT_EQ(Last(notes, 1), "D") << Condense(notes);
    EXPECT_EQ(Read(InstallFolder() / "shared/owner.txt"), "quant");
    EXPECT_TRUE(fs::exists(InstallFolder() / "quant/strategy.txt"));
    EXPECT_FALSE(fs::exists(InstallFolder() / "runtime/version.txt"))
        << "the runtime's own file was replaced before its step";
}

TEST_F(InstallWorkerTest, PostsToAWindowThatIsGoneAreDropped) {
    DestroyWindow(window);
    RunInstallation();
    EXPECT_EQ(Read(InstallFolder() / "shared/owner.txt"), "quant");
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

struct FailureCase {
    const char* name;
    std::function<void(InstallWorkerTest&)> setUp;
    int index;
    std::string lastLogLines[2];  // the detail line (a prefix of it) and the worker's line
};

// Test listings name a case by its name, not by its bytes.
void PrintTo(const FailureCase& row, std::ostream* out) {
    *out << row.name;
}

std::string Corrupt() {
    return "PK\x03\x04 this is not a zip archive";
}

class InstallFailureTest : public InstallWorkerTest,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(InstallFailureTest, PostsTheFailedStepOnceAndKeepsTheOldInstallation) {
    const FailureCase& failure = GetParam();
    MakeOldInstallation();
    failure.setUp(*this);
    std::vector<Notification> notes = RunInstallation();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().message, WM_INSTALL_FAILED);
    EXPECT_EQ(notes.back().value, failure.index);
    const std::string sequence = Condense(notes);
    EXPECT_EQ(sequence.find("F"), sequence.rfind("F")) << sequence;
    EXPECT_EQ(sequence.find("D"), std::string::npos) << sequence;
    if (failure.index != 6) {
        EXPECT_EQ(sequence.find("S1 "), std::string::npos) << sequence;
    }
    // A failed extraction moves no bar: the step's failure follows its step directly.
    if (failure.index >= 6) {
        EXPECT_NE(sequence.find("S" + std::to_string(failure.index) + " F"), std::string::npos)
            << sequence;
    }
    ExpectOldInstallationIntact();
    std::vector<std::string> log = LogOf(StagingFolder());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), failure.lastLogLines[1]);
    EXPECT_EQ(log[log.size() - 2].rfind(failure.lastLogLines[0], 0), 0u) << log[log.size() - 2];
}

std::string FailureLine(const char* line) {
    return std::string(line) + kFailed;
}

INSTANTIATE_TEST_SUITE_P(
    EveryIndex, InstallFailureTest,
    ::testing::Values(
        FailureCase{"BaseMissing",
                    [](InstallWorkerTest& t) { t.RemoveObject("/base.zip"); },
                    2,
                    {std::string(kRemote) + "/base.zip" + kMissing, FailureLine(kDownloadBase)}},
        FailureCase{
            "ConfigurationRefused",
            [](InstallWorkerTest& t) {
                t.bucket.addFaults(R"({"method": "GET", "key": ")" + std::string(kRemote) +
                                   R"(/config.zip", "status": 403})");
            },
            3,
            {"Downfile Fail,code:AccessDenied,message:", FailureLine(kDownloadConfiguration)}},
        FailureCase{"RuntimeConnectionReset",
                    [](InstallWorkerTest& t) {
                        t.bucket.addFaults(R"({"method": "GET", "key": ")" + std::string(kRemote) +
                                           "/fix/" + kFix +
                                           R"(.zip", "reset_after": 0, "times": -1})");
                    },
                    4,
                    {"Downfile Fail,code:", FailureLine(kDownloadRuntime)}},
        FailureCase{
            "QuantMissing",
            [](InstallWorkerTest& t) { t.RemoveObject(std::string("/quant/") + kQuant + ".zip"); },
            5,
            {std::string(kRemote) + "/quant/" + kQuant + ".zip" + kMissing,
             "\xcf\xc2\xd4\xd8Quant \xca\xa7\xb0\xdc"}},
        FailureCase{"DependencyCorrupt",
                    [](InstallWorkerTest& t) {
                        t.client.downloadDependencies = true;
                        t.bucket.putObject(std::string(kRemote) + "/depend.zip", Corrupt());
                    },
                    6,
                    {kInstallDependency, FailureLine(kInstallDependency)}},
        // An empty object downloads without a file: the package the plan downloaded is missing.
        FailureCase{"BaseEmpty",
                    [](InstallWorkerTest& t) {
                        t.bucket.putObject(std::string(kRemote) + "/base.zip", "");
                    },
                    7,
                    {kInstallBase, FailureLine(kInstallBase)}},
        FailureCase{"QuantEmpty",
                    [](InstallWorkerTest& t) {
                        t.bucket.putObject(std::string(kRemote) + "/quant/" + kQuant + ".zip", "");
                    },
                    10,
                    {kInstallQuant, FailureLine(kInstallQuant)}},
        FailureCase{"BaseCorrupt",
                    [](InstallWorkerTest& t) {
                        t.bucket.putObject(std::string(kRemote) + "/base.zip", Corrupt());
                    },
                    7,
                    {kInstallBase, FailureLine(kInstallBase)}},
        FailureCase{"RuntimeCorrupt",
                    [](InstallWorkerTest& t) {
                        t.bucket.putObject(std::string(kRemote) + "/fix/" + kFix + ".zip",
                                           Corrupt());
                    },
                    9,
                    {kInstallRuntime, FailureLine(kInstallRuntime)}},
        FailureCase{"ConfigurationCorrupt",
                    [](InstallWorkerTest& t) {
                        t.bucket.putObject(std::string(kRemote) + "/config.zip", Corrupt());
                    },
                    8,
                    {kInstallConfiguration, FailureLine(kInstallConfiguration)}},
        FailureCase{"QuantCorrupt",
                    [](InstallWorkerTest& t) {
                        t.bucket.putObject(std::string(kRemote) + "/quant/" + kQuant + ".zip",
                                           Corrupt());
                    },
                    10,
                    {kInstallQuant, FailureLine(kInstallQuant)}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// Starts the sample client from `image` with the given arguments; its record goes to `record`.
PROCESS_INFORMATION StartSampleClient(const fs::path& image, const std::string& arguments,
                                      const fs::path& record) {
    testsupport::ScopedEnv recordEnv;
    recordEnv.Set("BRIVOSTEL_CLIENT_RECORD", record.c_str());
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
    // (GCC 12 at -O3 sees a false overlap in the inlined string copies here: GCC bug 105329.)
    std::u16string line =
        u"\"" + fs::path(image).u16string() + u"\" " + fs::path(arguments).u16string();
#pragma GCC diagnostic pop
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started));
    return started;
}

// Waits until the client has written its record (it does so after opening what it holds).
void WaitForRecord(const fs::path& record) {
    for (int i = 0; i < 1000 && !fs::exists(record); ++i)
        Sleep(10);
    ASSERT_TRUE(fs::exists(record));
}

void EndProcess(PROCESS_INFORMATION& process) {
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

TEST_F(InstallWorkerTest, MoveFailsWhileAnotherProcessHoldsAFileOfTheOldInstallation) {
    PublishSampleRelease(false);  // 10 is posted even without a Quant package
    MakeOldInstallation();
    const fs::path elsewhere = winroot.driveC() / "elsewhere/holder.exe";
    fs::create_directories(elsewhere.parent_path());
    fs::copy_file(SAMPLE_CLIENT, elsewhere);
    const fs::path record = winroot.root() / "holder.txt";
    PROCESS_INFORMATION holder =
        StartSampleClient(elsewhere, std::string("hold ") + kFolder + "\\old.txt", record);
    WaitForRecord(record);

    std::vector<Notification> notes = RunInstallation();
    EndProcess(holder);
    // The old installation cannot be moved aside: the replacement fails with its own step.
    EXPECT_EQ(Last(notes, 2), "S13 F14");
    ExpectOldInstallationIntact();
    std::vector<std::string> log = LogOf(StagingFolder());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), FailureLine(kMoveNew));
    EXPECT_EQ(log[log.size() - 2].rfind(
                  std::string("Rename Fail,from:") + kFolder + ",to:" + kFolder + "old,errno:", 0),
              0u)
        << log[log.size() - 2];
    // The new installation waits complete in the staging folder; the old one is still there,
    // so leaving the program removes the staging folder.
    EXPECT_TRUE(fs::exists(StagingFolder() / "update.ini"));
    EXPECT_FALSE(StagingFolderHoldsOnlyCopy());
    RemoveStagingFolderAfterFailure();
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

TEST_F(InstallWorkerTest, WhenTheStagingFolderCannotMoveTheOldInstallationMovesBack) {
    MakeOldInstallation();
    PrepareForWorker();
    testsupport::WriteFileBytes(StagingFolder() / "held.txt", "held");
    HANDLE held =
        CreateFileA((std::string(kFolder) + "temp\\held.txt").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<Notification> notes = RunWorker();
    CloseHandle(held);
    EXPECT_EQ(Last(notes, 3), "S13 P75 F14");
    ExpectOldInstallationIntact();
    EXPECT_TRUE(fs::exists(StagingFolder() / "update.ini"));
    // The log, closed for the move, is reopened in the staging folder for the failure.
    std::vector<std::string> log = LogOf(StagingFolder());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), FailureLine(kMoveNew));
    EXPECT_EQ(log[log.size() - 2].rfind(
                  std::string("Rename Fail,from:") + kFolder + "temp,to:" + kFolder + ",errno:", 0),
              0u)
        << log[log.size() - 2];
}

TEST_F(InstallWorkerTest, AStagingFolderThatCannotBeEmptiedFailsBeforeAnyDownload) {
    MakeOldInstallation();
    testsupport::WriteFileBytes(StagingFolder() / "earlier/attempt.txt", "an earlier attempt");
    // Held without delete sharing: the earlier attempt's folder cannot be deleted.
    HANDLE held =
        CreateFileA((std::string(kFolder) + "temp\\earlier\\attempt.txt").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    bucket.clearRequests();
    std::vector<Notification> notes = RunInstallation();
    CloseHandle(held);
    EXPECT_EQ(Condense(notes), "F11");
    EXPECT_TRUE(bucket.requests().empty()) << "nothing is downloaded into that folder";
    ExpectOldInstallationIntact();
    std::vector<std::string> log = LogOf(StagingFolder());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), FailureLine(kCleanUp));
    EXPECT_EQ(log[log.size() - 2],
              "Staging folder not empty,path:" + std::string(kFolder) + "temp");
    RemoveStagingFolderAfterFailure();
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

TEST_F(InstallWorkerTest, AFailedWriteOfTheLocalManifestFailsBeforeTheOldInstallationIsTouched) {
    MakeOldInstallation();
    PrepareForWorker();
    // A folder where the local manifest goes: its profile write fails.
    fs::create_directories(StagingFolder() / "update.ini");
    std::vector<Notification> notes = RunWorker();
    EXPECT_EQ(Last(notes, 2), "S12 F12");
    ExpectOldInstallationIntact();
    std::vector<std::string> log = LogOf(StagingFolder());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), FailureLine(kSaveVersions));
    EXPECT_EQ(log[log.size() - 2].rfind("WritePrivateProfileString Fail,path:" +
                                            std::string(kFolder) + "temp\\update.ini,error:",
                                        0),
              0u)
        << log[log.size() - 2];
}

TEST_F(InstallWorkerTest, StagingFolderStaysWhenItHoldsTheOnlyCompleteCopy) {
    testsupport::WriteFileBytes(StagingFolder() / "update.ini", "[version]\r\ncur=9.5.7.2\r\n");
    EXPECT_TRUE(StagingFolderHoldsOnlyCopy());
    RemoveStagingFolderAfterFailure();
    EXPECT_TRUE(fs::exists(StagingFolder() / "update.ini"));

    fs::remove(StagingFolder() / "update.ini");  // a partial installation goes
    RemoveStagingFolderAfterFailure();
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

TEST_F(InstallWorkerTest, ARunningClientOfTheInstallationIsEndedOneElsewhereKeepsRunning) {
    fs::create_directories(InstallFolder());
    fs::copy_file(SAMPLE_CLIENT, InstallFolder() / "brivostel v9.5.exe");
    const fs::path elsewhere = winroot.driveC() / "elsewhere/brivostel v9.5.exe";
    fs::create_directories(elsewhere.parent_path());
    fs::copy_file(SAMPLE_CLIENT, elsewhere);
    PROCESS_INFORMATION installed = StartSampleClient(InstallFolder() / "brivostel v9.5.exe", "end",
                                                      winroot.root() / "installed.txt");
    PROCESS_INFORMATION other = StartSampleClient(elsewhere, "end", winroot.root() / "other.txt");
    WaitForRecord(winroot.root() / "installed.txt");
    WaitForRecord(winroot.root() / "other.txt");

    PrepareInstallation(client);
    EXPECT_EQ(WaitForSingleObject(installed.hProcess, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(other.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EndProcess(installed);
    EndProcess(other);
    EXPECT_TRUE(fs::exists(StagingFolder() / "log/install.log"));
}

}  // namespace
}  // namespace installtest
