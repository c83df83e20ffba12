// Process-wide diagnostic log of the storage client, off unless OSS_SDK_LOG_LEVEL names a level.
#pragma once

#include <string>

namespace oss {

enum class SdkLogLevel { Off, Fatal, Error, Warn, Info, Debug, Trace, All };

// Receives each finished record, line feed included.
using LogSink = void (*)(SdkLogLevel level, const std::string& record);

SdkLogLevel GetLogLevel();
LogSink GetLogSink();

// True when a sink is set and the current level is at least `level`. Callers test this before
// LogWrite, which does not filter.
bool LogEnabled(SdkLogLevel level);

// Resets to Off without a sink, then reads OSS_SDK_LOG_LEVEL (trimmed, any case). A known name
// sets that level and the standard-error sink; anything else leaves logging off.
void InitLogging();
// Back to Off without a sink.
void ResetLogging();

// Writes "[time][LEVEL][tag][thread]message\n" to the sink, if any. The message is rendered
// printf-style, cut to 2048 bytes, and loses its trailing line feeds.
void LogWrite(SdkLogLevel level, const char* tag, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace oss
