// The developer trace: lines stamped with the time since process start
// ("[Time: 00:01:05:42]  text"), written to the information log at level 5. Trace levels:
// 1 for failures and state changes worth keeping, 2 for step detail; a line whose level is
// above the trace threshold (1 by default) is dropped before it is formatted.
#pragma once

#include <cstdint>

namespace orvo {

void kxTrace(uint8_t inLevel, const char* inFile, uint32_t inLine, const char* inFormat, ...)
    __attribute__((format(printf, 4, 5)));
void kxTraceLine(uint8_t inLevel, const char* inFile, uint32_t inLine, const char* inText);
void kxTraceLocation(uint8_t inLevel, const char* inFile, uint32_t inLine);

void kxSetTraceLevel(uint8_t inLevel);
uint8_t kxGetTraceLevel();

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxTrace;
using orvo::kxTraceLine;
using orvo::kxTraceLocation;
using orvo::kxSetTraceLevel;
using orvo::kxGetTraceLevel;
#endif

// kxTrace / kxTraceLine with the calling site's file and line.
#define KX_TRACE(inLevel, ...) ::orvo::kxTrace((inLevel), __FILE__, __LINE__, __VA_ARGS__)
#define KX_TRACE_LINE(inLevel, inText) ::orvo::kxTraceLine((inLevel), __FILE__, __LINE__, (inText))
