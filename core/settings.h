// The process-wide settings of the installer and the drawing objects all painting shares.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Constants of the build.
inline constexpr char kProductBaseName[] = "BRivostel";
inline constexpr char kDependencyFolderName[] = "BRivostelDependBaseV9.5";
inline constexpr char kVersionSuffix[] = "v9.5";
inline constexpr char kStagingSuffix[] = "temp";
inline constexpr char kRemoteFolder[] = "9.5BRivostelIE";

// String resources of the program.
inline constexpr UINT kBrokerCodeString = 103;
inline constexpr UINT kBrokerNameSimplifiedString = 104;
inline constexpr UINT kBrokerNameTraditionalString = 105;
inline constexpr UINT kBrokerNameEnglishString = 106;
inline constexpr UINT kProductBaseNameString = 107;

// The code page of the program's narrow texts (paths, log lines, settings), whatever the
// system's own ANSI code page.
inline constexpr UINT kNarrowCodePage = 936;

// Narrow texts are ASCII or code page kNarrowCodePage.
class InstallerSettings {
  public:
    std::string brokerCode;
    std::string brokerName;
    std::string installFolder;
    std::string stagingFolder;
    std::string dependencyFolder;
    std::string productFolderName;
    std::int32_t uiLanguage = 0;
    std::string installedVersion;

    // Fills installFolder, stagingFolder, dependencyFolder and productFolderName from the
    // console user's local application-data folder and the string resources.
    void ComputeFolders();
};

// The one settings record, created empty on first use.
InstallerSettings& GetInstallerSettings();

// Creates the shared brush and fonts and fills brokerCode, uiLanguage and brokerName. A missing
// string leaves an empty text; a failed creation leaves a null handle.
void InitSharedResources();

extern HBRUSH WhiteBrush;
extern HFONT CaptionFont;
extern HFONT ButtonFont;
extern HFONT BannerFont;
