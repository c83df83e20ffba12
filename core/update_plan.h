// The remote manifest "summary.ini", the fixed plan of packages that follows from it, and the
// files written for the installed client: the local manifest "update.ini" and two keys of its
// configuration. All are private-profile (INI) files.
#pragma once

#include "core/iclient.h"

// Object key suffixes (after remoteFolder) and local names (after stagingFolder) of the plan,
// in download order. The runtime and Quant packages are "/fix/" and "/quant/" followed by
// their version and ".zip", downloaded to "/" + version + ".zip".
inline constexpr char kManifestSuffix[] = "/summary.ini";
inline constexpr char kDependencySuffix[] = "/depend.zip";
inline constexpr char kBaseSuffix[] = "/base.zip";
inline constexpr char kConfigurationSuffix[] = "/config.zip";
inline constexpr char kRuntimeFolder[] = "/fix/";
inline constexpr char kQuantFolder[] = "/quant/";

// The downloads the progress divides by before the manifest is read: manifest, dependency,
// base, configuration and runtime; a Quant package adds one.
inline constexpr int kPlannedDownloadsWithoutQuant = 5;

// Downloads remoteFolder + "/summary.ini" to stagingFolder + "/summary.ini" and reads
// configStamp, fixVersion and quantVersion for the build's broker code (versions cut to 20
// bytes); with a Quant version, sets hasQuant and adds one planned download. False when the
// manifest cannot be downloaded, or the staging folder could not be emptied (nothing is
// downloaded into it): the fields then keep their defaults. A build with a release key first
// verifies "summary.sig" and reads "summary.ini" only when it matches the signed manifest; it
// then sets releaseVerified (core/release_verification.h).
bool ReadRemoteManifest(IClient& client);

// Writes stagingFolder + "\update.ini" ("cfgstamp"/"time", "version"/"cur", "version"/"quant")
// and records fixVersion as the installed version of the settings. False, with the failed write
// logged, when the file cannot be written (a full disk): the installation must not go on.
bool SaveInstalledVersions(IClient& client);

// Sets "brivostel"/"package" to the broker code in folder\config\brivostel.Default.pub and
// "brivostel"/"language" to the user-interface language in ...\brivostel.Default.pri. The
// worker writes them into the staging folder before it takes the installation's place.
// A missing "config" folder leaves them unwritten; any other failed write is logged. The
// installation counts as done either way.
void WriteClientSettings(const std::string& folder);
