#include "core/install_worker.h"

#include <windows.h>
#include <io.h>
#include <process.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/extraction_ahead.h"
#include "core/folder_replacement.h"
#include "core/install_log.h"
#include "core/install_notifications.h"
#include "core/installation_completion.h"
#include "core/package_download.h"
#include "core/release_verification.h"
#include "core/settings.h"
#include "core/staging_folder.h"
#include "core/update_plan.h"
#include "system/processes_and_files.h"
#include "unzip/zip_extraction.h"

namespace {

// The log texts, in code page 936.
constexpr char kVersionLine[] = "Version: IE_9.5.7.1";
// 下载前端依赖库 / 失败: downloading the front-end dependencies / failed
constexpr char kDownloadDependency[] = "\xcf\xc2\xd4\xd8\xc7\xb0\xb6\xcb\xd2\xc0\xc0\xb5\xbf\xe2";
constexpr char kDownloadDependencyFailed[] =
    "\xcf\xc2\xd4\xd8\xc7\xb0\xb6\xcb\xd2\xc0\xc0\xb5\xbf\xe2\xca\xa7\xb0\xdc";
// 下载服务依赖库: downloading the service dependencies (the base package)
constexpr char kDownloadBase[] = "\xcf\xc2\xd4\xd8\xb7\xfe\xce\xf1\xd2\xc0\xc0\xb5\xbf\xe2";
constexpr char kDownloadBaseFailed[] =
    "\xcf\xc2\xd4\xd8\xb7\xfe\xce\xf1\xd2\xc0\xc0\xb5\xbf\xe2\xca\xa7\xb0\xdc";
// 下载配置文件: downloading the configuration files
constexpr char kDownloadConfiguration[] = "\xcf\xc2\xd4\xd8\xc5\xe4\xd6\xc3\xce\xc4\xbc\xfe";
constexpr char kDownloadConfigurationFailed[] =
    "\xcf\xc2\xd4\xd8\xc5\xe4\xd6\xc3\xce\xc4\xbc\xfe\xca\xa7\xb0\xdc";
// 下载运行库: downloading the runtime
constexpr char kDownloadRuntime[] = "\xcf\xc2\xd4\xd8\xd4\xcb\xd0\xd0\xbf\xe2";
constexpr char kDownloadRuntimeFailed[] =
    "\xcf\xc2\xd4\xd8\xd4\xcb\xd0\xd0\xbf\xe2\xca\xa7\xb0\xdc";
// 下载Quant, and its failure with a blank before 失败
constexpr char kDownloadQuant[] = "\xcf\xc2\xd4\xd8Quant";
constexpr char kDownloadQuantFailed[] = "\xcf\xc2\xd4\xd8Quant \xca\xa7\xb0\xdc";
// 安装前端依赖库: installing the front-end dependencies
constexpr char kInstallDependency[] = "\xb0\xb2\xd7\xb0\xc7\xb0\xb6\xcb\xd2\xc0\xc0\xb5\xbf\xe2";
constexpr char kInstallDependencyFailed[] =
    "\xb0\xb2\xd7\xb0\xc7\xb0\xb6\xcb\xd2\xc0\xc0\xb5\xbf\xe2\xca\xa7\xb0\xdc";
// 安装服务依赖库: installing the service dependencies
constexpr char kInstallBase[] = "\xb0\xb2\xd7\xb0\xb7\xfe\xce\xf1\xd2\xc0\xc0\xb5\xbf\xe2";
constexpr char kInstallBaseFailed[] =
    "\xb0\xb2\xd7\xb0\xb7\xfe\xce\xf1\xd2\xc0\xc0\xb5\xbf\xe2\xca\xa7\xb0\xdc";
// 安装运行库: installing the runtime
constexpr char kInstallRuntime[] = "\xb0\xb2\xd7\xb0\xd4\xcb\xd0\xd0\xbf\xe2";
constexpr char kInstallRuntimeFailed[] = "\xb0\xb2\xd7\xb0\xd4\xcb\xd0\xd0\xbf\xe2\xca\xa7\xb0\xdc";
// 安装配置文件: installing the configuration files
constexpr char kInstallConfiguration[] = "\xb0\xb2\xd7\xb0\xc5\xe4\xd6\xc3\xce\xc4\xbc\xfe";
constexpr char kInstallConfigurationFailed[] =
    "\xb0\xb2\xd7\xb0\xc5\xe4\xd6\xc3\xce\xc4\xbc\xfe\xca\xa7\xb0\xdc";
// 安装Quant运行库: installing the Quant runtime
constexpr char kInstallQuant[] = "\xb0\xb2\xd7\xb0Quant\xd4\xcb\xd0\xd0\xbf\xe2";
constexpr char kInstallQuantFailed[] =
    "\xb0\xb2\xd7\xb0Quant\xd4\xcb\xd0\xd0\xbf\xe2\xca\xa7\xb0\xdc";
// 清理安装文件: cleaning up the installation files
constexpr char kCleanUp[] = "\xc7\xe5\xc0\xed\xb0\xb2\xd7\xb0\xce\xc4\xbc\xfe";
constexpr char kCleanUpFailed[] =
    "\xc7\xe5\xc0\xed\xb0\xb2\xd7\xb0\xce\xc4\xbc\xfe\xca\xa7\xb0\xdc";
// 保存更新版本信息: saving the version information
constexpr char kSaveVersions[] = "\xb1\xa3\xb4\xe6\xb8\xfc\xd0\xc2\xb0\xe6\xb1\xbe\xd0\xc5\xcf\xa2";
constexpr char kSaveVersionsFailed[] =
    "\xb1\xa3\xb4\xe6\xb8\xfc\xd0\xc2\xb0\xe6\xb1\xbe\xd0\xc5\xcf\xa2\xca\xa7\xb0\xdc";
// 删除源文件: deleting the old files
constexpr char kDeleteOld[] = "\xc9\xbe\xb3\xfd\xd4\xb4\xce\xc4\xbc\xfe";
// 复制新版本数据到原目录: moving the new version into the original folder
constexpr char kMoveNew[] =
    "\xb8\xb4\xd6\xc6\xd0\xc2\xb0\xe6\xb1\xbe\xca\xfd\xbe\xdd\xb5\xbd\xd4\xad\xc4\xbf\xc2\xbc";

constexpr char kMoveNewFailed[] =
    "\xb8\xb4\xd6\xc6\xd0\xc2\xb0\xe6\xb1\xbe\xca\xfd\xbe\xdd\xb5\xbd\xd4\xad\xc4\xbf\xc2\xbc"
    "\xca\xa7\xb0\xdc";

// The step index of the replacement of the installation folder, posted only with its failure.
constexpr LPARAM kMoveStep = 14;

constexpr DWORD kStepPauseMs = 100;

void Step(LPARAM index) {
    PostInstallNotification(WM_INSTALL_STEP, index);
}

void PostProgress(const IClient& client) {
    PostInstallNotification(WM_INSTALL_PROGRESS, client.progress);
}

// Logs the failure, tells the window, and gives the worker's result. A step that failed because
// a stop was asked for (its download or extraction gave up) is no failure to show.
unsigned Fail(const IClient& client, const char* text, LPARAM index) {
    if (client.installStop.Requested()) {
        WriteInstallLog("Installation stopped: the window was closed");
        return 0;
    }
    WriteInstallLog(text);
    PostInstallNotification(WM_INSTALL_FAILED, index);
    return 0;
}

// stagingFolder + "/" + version + ".zip", the name part formatted into 101 bytes.
std::string VersionedPackagePath(const char* version) {
    char name[101] = {};
    std::snprintf(name, sizeof name, "/%s.zip", version);
    return GetInstallerSettings().stagingFolder + name;
}

// What the steps of one run work with: the client and the packages extracted ahead.
struct InstallRun {
    IClient& client;
    ExtractionAhead& ahead;
};

// Extracts `archive` into `destination`, unless it was extracted ahead. The archive of a package
// that the plan did not download (`downloaded` false: the dependency package of this build)
// counts as installed with nothing to do when it is missing (true, the progress unchanged); a
// downloaded package must be there, so a missing one fails (an empty object leaves no file).
// Otherwise the progress grows by 10 / plannedDownloads, and is posted only when the extraction
// succeeded.
bool InstallPackage(InstallRun& run, const std::string& archive, const std::string& destination,
                    bool downloaded) {
    IClient& client = run.client;
    FILE* file = nullptr;
    if (fopen_s(&file, archive.c_str(), "r") != 0)
        return !downloaded;  // skipped by the plan: nothing to install; else the package is lost
    fclose(file);
    const bool ok = run.ahead.TakeExtracted(archive) ||
                    ExtractZipArchive(archive.c_str(), destination.c_str(),
                                      [&client] { return client.installStop.Requested(); });
    client.progress = static_cast<int32_t>(10.0 / client.plannedDownloads + client.progress);
    if (ok)
        PostProgress(client);
    return ok;
}

// Deletes the manifest and every package file of the plan from the staging folder.
void RemoveDownloadedFiles(IClient& client) {
    const std::string& S = GetInstallerSettings().stagingFolder;
    DeleteFileTree((S + kManifestSuffix).c_str());
    DeleteFileTree((S + kDependencySuffix).c_str());
    DeleteFileTree((S + kBaseSuffix).c_str());
    DeleteFileTree((S + kConfigurationSuffix).c_str());
    DeleteFileTree(VersionedPackagePath(client.fixVersion).c_str());
    DeleteFileTree(VersionedPackagePath(client.quantVersion).c_str());
}

// version + ".zip", formatted into 101 bytes: the file name of a runtime or Quant package.
std::string VersionedFileName(const char* version) {
    char name[101] = {};
    std::snprintf(name, sizeof name, "%s.zip", version);
    return name;
}

// Downloads remoteFolder + suffix into stagingFolder + suffix.
bool DownloadStaged(IClient& client, const char* suffix) {
    return DownloadObject(client, client.remoteFolder + suffix,
                          GetInstallerSettings().stagingFolder + suffix);
}

// A package that arrived may be extracted ahead.
bool Arrived(InstallRun& run, bool downloaded, const std::string& archive) {
    if (downloaded)
        run.ahead.Arrived(archive);
    return downloaded;
}

// The actions of the steps below, true when the step succeeded.
bool DownloadDependency(InstallRun& run) {
    if (!run.client.downloadDependencies)
        return true;
    Step(1);
    return DownloadStaged(run.client, kDependencySuffix);
}
bool DownloadBase(InstallRun& run) {
    return Arrived(run, DownloadStaged(run.client, kBaseSuffix),
                   GetInstallerSettings().stagingFolder + kBaseSuffix);
}
bool DownloadConfiguration(InstallRun& run) {
    return Arrived(run, DownloadStaged(run.client, kConfigurationSuffix),
                   GetInstallerSettings().stagingFolder + kConfigurationSuffix);
}
bool DownloadRuntime(InstallRun& run) {
    return Arrived(run,
                   DownloadRuntimePackage(run.client, VersionedFileName(run.client.fixVersion)),
                   VersionedPackagePath(run.client.fixVersion));
}
bool DownloadQuant(InstallRun& run) {
    return Arrived(run,
                   DownloadQuantPackage(run.client, VersionedFileName(run.client.quantVersion)),
                   VersionedPackagePath(run.client.quantVersion));
}
bool InstallDependency(InstallRun& run) {
    const InstallerSettings& settings = GetInstallerSettings();
    return InstallPackage(run, settings.stagingFolder + kDependencySuffix,
                          settings.dependencyFolder, run.client.downloadDependencies);
}
bool InstallBase(InstallRun& run) {
    const std::string& S = GetInstallerSettings().stagingFolder;
    return InstallPackage(run, S + kBaseSuffix, S, true);
}
bool InstallRuntime(InstallRun& run) {
    return InstallPackage(run, VersionedPackagePath(run.client.fixVersion),
                          GetInstallerSettings().stagingFolder, true);
}
bool InstallConfiguration(InstallRun& run) {
    const std::string& S = GetInstallerSettings().stagingFolder;
    return InstallPackage(run, S + kConfigurationSuffix, S, true);
}
bool InstallQuant(InstallRun& run) {
    return InstallPackage(run, VersionedPackagePath(run.client.quantVersion),
                          GetInstallerSettings().stagingFolder, true);
}
bool CleanUp(InstallRun& run) {
    RemoveDownloadedFiles(run.client);
    return true;
}
bool SaveVersions(InstallRun& run) {
    return SaveInstalledVersions(run.client);
}

enum StepFlags : unsigned {
    kPostsOwnStep = 1,   // the action posts the step itself (or, when it skips, not at all)
    kOnlyWithQuant = 2,  // left out when the release has no Quant package
    kPauseAfter = 4,     // a pause after success, so that the window shows the step
};

// One step before the swap: a stop asked for ends the worker before it; it logs `line`, posts
// WM_INSTALL_STEP `index`, runs the action, and on failure logs `failure` and posts
// WM_INSTALL_FAILED with the same index.
struct InstallStep {
    const char* line;
    LPARAM index;
    bool (*action)(InstallRun& run);
    const char* failure;  // null for a step that cannot fail
    unsigned flags;
};

// Extraction order: dependency, base, runtime, configuration, Quant; later packages overwrite
// files of earlier ones.
constexpr InstallStep kInstallSteps[] = {
    {kDownloadDependency, 1, DownloadDependency, kDownloadDependencyFailed, kPostsOwnStep},
    {kDownloadBase, 2, DownloadBase, kDownloadBaseFailed, 0},
    {kDownloadConfiguration, 3, DownloadConfiguration, kDownloadConfigurationFailed, 0},
    {kDownloadRuntime, 4, DownloadRuntime, kDownloadRuntimeFailed, kPostsOwnStep},
    {kDownloadQuant, 5, DownloadQuant, kDownloadQuantFailed, kPostsOwnStep | kOnlyWithQuant},
    {kInstallDependency, 6, InstallDependency, kInstallDependencyFailed, kPauseAfter},
    {kInstallBase, 7, InstallBase, kInstallBaseFailed, kPauseAfter},
    {kInstallRuntime, 9, InstallRuntime, kInstallRuntimeFailed, kPauseAfter},
    {kInstallConfiguration, 8, InstallConfiguration, kInstallConfigurationFailed, kPauseAfter},
    {kInstallQuant, 10, InstallQuant, kInstallQuantFailed, kPauseAfter | kOnlyWithQuant},
    {kCleanUp, 11, CleanUp, nullptr, kPauseAfter},
    {kSaveVersions, 12, SaveVersions, kSaveVersionsFailed, 0},
};

// The packages of the staging folder in the order of their install steps: those that arrive
// early are extracted while the later ones download. The dependency package goes to the shared
// dependency folder outside the staging folder, which nothing changes before its own step.
std::vector<ExtractionAhead::Package> PackagesToExtractAhead(const IClient& client) {
    const std::string& S = GetInstallerSettings().stagingFolder;
    std::vector<ExtractionAhead::Package> packages = {
        {S + kBaseSuffix, S},
        {VersionedPackagePath(client.fixVersion), S},
        {S + kConfigurationSuffix, S},
    };
    if (client.hasQuant)
        packages.push_back({VersionedPackagePath(client.quantVersion), S});
    return packages;
}

// The steps before the swap: true when every one succeeded, false after a failure (posted) or
// a stop. Whatever was extracted ahead has ended when it returns.
bool RunStepsBeforeSwap(IClient& client) {
    ExtractionAhead ahead(PackagesToExtractAhead(client), client.installStop);
    InstallRun run{client, ahead};
    for (const InstallStep& step : kInstallSteps) {
        if ((step.flags & kOnlyWithQuant) && !client.hasQuant)
            continue;
        if (client.installStop.Requested())
            return false;
        WriteInstallLog(step.line);
        if (!(step.flags & kPostsOwnStep))
            Step(step.index);
        if (!step.action(run)) {
            Fail(client, step.failure, step.index);
            return false;
        }
        if (step.flags & kPauseAfter)
            Sleep(kStepPauseMs);
    }
    return true;
}

unsigned RunInstallation(IClient& client) {
    const std::string& S = GetInstallerSettings().stagingFolder;

    Sleep(kStepPauseMs);
    WriteInstallLog(kVersionLine);
    if (!StagingFolderReady()) {
        WriteInstallLog(("Staging folder not empty,path:" + S).c_str());
        return Fail(client, kCleanUpFailed, 11);
    }
    // A build with a release key downloads nothing of a release it could not verify; the
    // manifest's reading logged why. The window shows the first download step as failed.
    if (ChecksRelease(client) && !client.releaseVerified) {
        WriteInstallLog("Release not verified: nothing is downloaded");
        return Fail(client, kDownloadBaseFailed, 2);
    }

    if (!RunStepsBeforeSwap(client))
        return 0;

    // What belongs inside the installation is written before the swap: the folder that takes
    // the installation's name is complete, whenever the run ends.
    WriteClientSettings(S);

    // The old installation is only moved aside here; it is deleted once the new one is in place.
    // From here on a close no longer stops the worker.
    if (!client.installStop.BeginFolderReplacement())
        return 0;
    WriteInstallLog(kDeleteOld);
    Step(13);
    WriteInstallLog(kMoveNew);
    std::string failure;
    if (!MoveInstallFolderAside(&failure)) {
        WriteInstallLog(failure.c_str());
        return Fail(client, kMoveNewFailed, kMoveStep);
    }
    client.progress += 5;
    PostProgress(client);

    CloseInstallLog();  // the log lies inside the staging folder
    if (!MoveStagingFolderIntoPlace(&failure)) {
        // The staging folder, and the log in it, stayed where they were.
        OpenInstallLog((S + "\\log\\install.log").c_str(), "ab+");
        WriteInstallLog(failure.c_str());
        return Fail(client, kMoveNewFailed, kMoveStep);
    }
    client.progress += 4;
    PostProgress(client);
    CompletePlacedInstallation();  // the set-aside copy, the registration, the shortcut

    client.progress += 1;
    PostProgress(client);
    PostInstallNotification(WM_INSTALL_DONE, 0);
    return 1;
}

// The thread: `argument` is the IClient. 1 after a successful installation, 0 after a failure.
unsigned __stdcall InstallWorker(void* argument) {
    return RunInstallation(*static_cast<IClient*>(argument));
}

}  // namespace

HANDLE StartInstallWorker(IClient& client) {
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, InstallWorker, &client, 0, nullptr));
}
