// Message handling between the program's calls: the progress window keeps
// answering (Windows marks a window whose thread handles no message for 5 s
// as not responding, and paints a ghost over it).
#include "platform/win32/win32_messages.h"

namespace zp::win32 {

void HandlePendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

bool WaitAnswering(HANDLE object, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    // MWMO_INPUTAVAILABLE: messages already in the queue wake it too.
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &object, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) return true;
    if (woken != WAIT_OBJECT_0 + 1) return false;  // the time is up, or the wait failed
    HandlePendingMessages();
  }
}

}  // namespace zp::win32
