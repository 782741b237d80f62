#include "orvo/platform/kxthreadmessages.h"
#include "orvo/platform/windows/win32.h"

namespace orvo::platform {

bool postThreadMessage(uint32_t inThreadId, const ThreadMessage& inMessage) {
  return PostThreadMessageA(inThreadId, inMessage.message, inMessage.param1, inMessage.param2) != FALSE;
}

bool peekThreadMessage(ThreadMessage& outMessage) {
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) == FALSE) return false;
  outMessage = ThreadMessage{message.message, message.wParam, static_cast<uintptr_t>(message.lParam)};
  return true;
}

void discardThreadMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
  }
}

void discardThreadMessages(uint32_t inMessage) {
  // A window handle of -1 asks for thread messages only. PeekMessage hands out WM_QUIT
  // whatever the filter says: it goes back into the queue, where a message loop finds it.
  MSG message;
  while (PeekMessageA(&message, reinterpret_cast<HWND>(-1), inMessage, inMessage, PM_REMOVE) != FALSE) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
  }
}

bool postWindowMessage(WindowHandle inWindow, const ThreadMessage& inMessage) {
  return PostMessageA(static_cast<HWND>(inWindow), inMessage.message, inMessage.param1,
                      static_cast<LPARAM>(inMessage.param2)) != FALSE;
}

}  // namespace orvo::platform
