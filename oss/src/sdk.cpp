#include "oss/sdk.h"

#include <curl/curl.h>

#include <mutex>

#include "oss/log.h"

namespace oss {

namespace {
std::mutex g_sdkMutex;
bool g_initialized = false;
}  // namespace

void InitializeSdk() {
    std::lock_guard<std::mutex> lock(g_sdkMutex);
    if (g_initialized) {
        return;
    }
    InitLogging();
    // Left uninitialised when libcurl cannot set up, so a later call may try again.
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        ResetLogging();
        return;
    }
    g_initialized = true;
}

void ShutdownSdk() {
    std::lock_guard<std::mutex> lock(g_sdkMutex);
    if (!g_initialized) {
        return;
    }
    curl_global_cleanup();
    ResetLogging();
    g_initialized = false;
}

bool SdkIsInitialized() {
    std::lock_guard<std::mutex> lock(g_sdkMutex);
    return g_initialized;
}

}  // namespace oss
