// Library-wide start and stop: the diagnostic log and libcurl's global state.
#pragma once

namespace oss {

// Once per process until ShutdownSdk; a second call while initialised does nothing.
void InitializeSdk();
// Undoes InitializeSdk; does nothing when not initialised.
void ShutdownSdk();
bool SdkIsInitialized();

}  // namespace oss
