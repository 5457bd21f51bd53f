// The yes/no question on Windows: a message box.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"

namespace zp {

bool CanAskQuestions() {
  return true;
}

Answer AskYesNo(void* owner, const std::string& text, const std::string& caption) {
  const int answer =
      ::MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), MB_YESNO);
  if (answer == IDYES) return Answer::Yes;
  if (answer == IDNO) return Answer::No;
  // 0: the box could not be shown, and the system has set the last error.
  // Anything else (IDCANCEL from Escape, -1 with no display): closed unanswered.
  if (answer != 0) ::SetLastError(ERROR_CANCELLED);
  return Answer::Failed;
}

}  // namespace zp
