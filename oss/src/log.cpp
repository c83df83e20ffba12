#include "oss/log.h"

#include "calendar_time.h"
#include "text_helpers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <sstream>
#include <thread>

namespace oss {

namespace {

// Level and sink change only in InitializeSdk/ShutdownSdk but are read from any thread.
std::atomic<int> g_level{static_cast<int>(SdkLogLevel::Off)};
std::atomic<LogSink> g_sink{nullptr};

constexpr const char* kLevelNames[] = {"off",  "fatal", "error", "warn",
                                       "info", "debug", "trace", "all"};
constexpr const char* kLevelTags[] = {"[OFF]",  "[FATAL]", "[ERROR]", "[WARN]",
                                      "[INFO]", "[DEBUG]", "[TRACE]", "[ALL]"};

// The message buffer holds 2048 bytes of text and its terminator.
constexpr size_t kMessageBufferSize = 2049;

void WriteToStandardError(SdkLogLevel, const std::string& record) {
    std::fwrite(record.data(), 1, record.size(), stderr);
}

std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ToLocalTime(seconds, local);
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S.", &local);
    std::snprintf(text + length, sizeof text - length, "%03d", static_cast<int>(millis));
    return text;
}

std::string ThreadNumber() {
    std::ostringstream out;
    out << std::this_thread::get_id();
    return out.str();
}

}  // namespace

SdkLogLevel GetLogLevel() {
    return static_cast<SdkLogLevel>(g_level.load());
}

LogSink GetLogSink() {
    return g_sink.load();
}

bool LogEnabled(SdkLogLevel level) {
    return g_sink.load() != nullptr && g_level.load() >= static_cast<int>(level);
}

void ResetLogging() {
    g_sink.store(nullptr);
    g_level.store(static_cast<int>(SdkLogLevel::Off));
}

void InitLogging() {
    ResetLogging();
    const char* value = std::getenv("OSS_SDK_LOG_LEVEL");
    if (value == nullptr) {
        return;
    }
    const std::string name = LowerAscii(std::string(Trim(value)));
    for (size_t i = 0; i < std::size(kLevelNames); ++i) {
        if (name == kLevelNames[i]) {
            g_level.store(static_cast<int>(i));
            g_sink.store(&WriteToStandardError);
            return;
        }
    }
}

void LogWrite(SdkLogLevel level, const char* tag, const char* format, ...) {
    const LogSink sink = g_sink.load();
    if (sink == nullptr) {
        return;
    }
    char message[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    const int written =
        format != nullptr ? std::vsnprintf(message, sizeof message, format, args) : 0;
    va_end(args);
    size_t length = written < 0 ? 0 : std::min<size_t>(written, sizeof message - 1);
    message[length] = '\0';
    while (length > 0 && message[length - 1] == '\n') {
        --length;
    }

    const auto index = static_cast<size_t>(level);
    std::string record;
    record.reserve(length + 96);
    record += '[';
    record += TimeStamp();
    record += ']';
    record += index < std::size(kLevelTags) ? kLevelTags[index] : "[?]";
    record += '[';
    record += tag ? tag : "";
    record += "][";
    record += ThreadNumber();
    record += ']';
    record.append(message, length);
    record += '\n';
    sink(level, record);
}

}  // namespace oss
