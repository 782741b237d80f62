// Debugger hooks.
#pragma once

namespace orvo::platform {

// True when a debugger is attached to this process.
bool isDebuggerAttached();

// Stops in the debugger when one is attached; does nothing otherwise, so an assertion
// report never ends a process that runs without a debugger.
void debugBreak();

}  // namespace orvo::platform
