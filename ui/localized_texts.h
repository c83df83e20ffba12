// The fixed texts of the installer window in three languages. The step indices are what the
// install worker posts with WM_INSTALL_STEP and WM_INSTALL_FAILED; the last step, the move of
// the new version into the installation folder's place, is only ever posted as a failure.
#pragma once

#include <windows.h>

inline constexpr int kStepTextCount = 15;
inline constexpr int kUiTextCount = 11;
// Each text is a record of 100 UTF-16 code units: at most 99 characters, then zeros.
inline constexpr int kLocalizedTextSize = 100;

// Indexed by language (Simplified Chinese, Traditional Chinese, English), then by text.
extern const WCHAR StepTexts[3][kStepTextCount][kLocalizedTextSize];
extern const WCHAR UiTexts[3][kUiTextCount][kLocalizedTextSize];

// The text of step `index` (0 to 14) in the language of InstallerSettings::uiLanguage, read at
// every call. The pointer stays valid for the life of the process; an index outside the table
// gives an empty text.
const WCHAR* StepText(int index);
// The same for the window's own texts (0 to 10).
const WCHAR* UiText(int index);
