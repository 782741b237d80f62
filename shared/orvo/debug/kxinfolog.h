// The information log: one process-wide destination for diagnostic lines.
//
// A message has a level (lower is more severe). It reaches the caller-supplied sinks when
// its level is not above the log threshold or not above the sink threshold (the highest
// level any sink was registered for), and the default destination when it is not above the
// log threshold and no sink claimed it by returning true. The default destination is
// standard error (mode 2, the default: "HH:MM:SS text"), the log file (mode 3:
// "Mon D HH:MM:SS [prefix: ]text", the file opened and closed for every line) or nothing.
//
// Locking: one recursive lock guards the settings, the sink list and the writing of a line,
// so lines from several threads never interleave and a sink may itself log. The thresholds
// are read without the lock before a message is formatted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef int32_t kxInfoLogLevel;

// A sink receives every message that passes the thresholds; returning true keeps the
// message from the default destination.
typedef bool (*kxInfoLogSink)(kxInfoLogLevel inLevel, const char* inText);

inline constexpr kxInfoLogLevel kxInfoLogError = 0;
inline constexpr kxInfoLogLevel kxInfoLogNotice = 1;
inline constexpr kxInfoLogLevel kxInfoLogWarning = 2;
inline constexpr kxInfoLogLevel kxInfoLogInfo = 3;
inline constexpr kxInfoLogLevel kxInfoLogDebug = 5;

inline constexpr int32_t kxInfoLogModeStdErr = 2;
inline constexpr int32_t kxInfoLogModeFile = 3;

// Size of the work buffer a formatted message is written into; texts are cut one short.
inline constexpr size_t kxInfoLogBufferSize = 10240;

namespace orvo {

void kxSetInfoLogLevel(kxInfoLogLevel inLevel);
kxInfoLogLevel kxGetInfoLogLevel();

void kxInfoLogWrite(kxInfoLogLevel inLevel, const char* inText);
void kxInfoLogPrintf(kxInfoLogLevel inLevel, const char* inFormat, ...)
    __attribute__((format(printf, 2, 3)));

void kxInfoLogSetMode(const char* inPrefix, int32_t inMode);
void kxInfoLogToFile(const char* inPrefix, const char* inPath);
std::string kxInfoLogFileName();

void kxInfoLogAddSink(kxInfoLogSink inSink, kxInfoLogLevel inLevel);
void kxInfoLogRemoveSink(kxInfoLogSink inSink);

// "error", "notice", "warning", "info", "info", "debug" for 0..5; "" otherwise.
const char* kxInfoLogLevelName(kxInfoLogLevel inLevel);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxSetInfoLogLevel;
using orvo::kxGetInfoLogLevel;
using orvo::kxInfoLogWrite;
using orvo::kxInfoLogPrintf;
using orvo::kxInfoLogSetMode;
using orvo::kxInfoLogToFile;
using orvo::kxInfoLogFileName;
using orvo::kxInfoLogAddSink;
using orvo::kxInfoLogRemoveSink;
using orvo::kxInfoLogLevelName;
#endif
