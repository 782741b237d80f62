// Per-thread message queues: a message posted to a thread waits in that thread's queue until
// the thread takes it, and a wait of that thread that includes messages (waitForAny in
// kxwait.h) wakes when one arrives. PostThreadMessage, PostMessage and PeekMessage
// (PM_REMOVE) on Windows.
//
// As there, a thread's queue exists from the thread's first call of peekThreadMessage,
// discardThreadMessages or a wait with messages; a post to a thread without one, or to a
// queue that already holds kMaxQueuedMessages, fails. A queue ends with its thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvo::platform {

struct ThreadMessage {
  uint32_t message;
  uintptr_t param1;  // wParam
  uintptr_t param2;  // lParam
};

// The limit Windows sets on a thread's posted messages.
inline constexpr size_t kMaxQueuedMessages = 10000;

// Appends inMessage to the queue of thread inThreadId; false when that thread has no queue
// or it is full.
bool postThreadMessage(uint32_t inThreadId, const ThreadMessage& inMessage);

// Takes the oldest message from the calling thread's queue; false when it is empty.
bool peekThreadMessage(ThreadMessage& outMessage);

// Empties the calling thread's queue.
void discardThreadMessages();
// Removes the thread messages numbered inMessage (above 0) from the calling thread's queue;
// every other message stays, in its order (on Windows window messages and WM_QUIT too).
void discardThreadMessages(uint32_t inMessage);

// A window (HWND). POSIX has no windows: posting to one fails.
using WindowHandle = void*;
bool postWindowMessage(WindowHandle inWindow, const ThreadMessage& inMessage);

}  // namespace orvo::platform
