// A test tool run beside a session under Wine: waits for the progress dialog
// to show its bar at a position of at least <percent> and prints what it
// finds, one "name=value" a line.
// Usage: dialog_probe <seconds> [<percent>]. Exit code 0 when found, 1 when not in time.
#include "platform/win32/windows_api.h"

// commctrl.h needs what windows.h declares.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kStatusControl = 102;
constexpr int kProgressBar = 1000;

// A visible dialog (class "#32770") whose control 1000 is a progress bar on show.
int g_least = 0;

// The bar's position; -1 when the session's thread did not answer in time.
int BarPosition(HWND bar) {
  DWORD_PTR position = 0;
  if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 1000, &position)) return -1;
  return static_cast<int>(position);
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::strcmp(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  const HWND bar = GetDlgItem(window, kProgressBar);
  if (!bar || !IsWindowVisible(bar)) return TRUE;
  GetClassNameA(bar, name, sizeof name);
  if (std::strcmp(name, "msctls_progress32") != 0) return TRUE;
  if (BarPosition(bar) < g_least) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  g_least = argc > 2 ? std::atoi(argv[2]) : 0;
  HWND dialog = nullptr;
  for (int waited = 0; !dialog && waited < seconds * 20; ++waited) {
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) Sleep(50);
  }
  if (!dialog) {
    std::printf("found=0\n");
    return 1;
  }
  char status[256] = {};
  // The text the system keeps for the control: asking the window itself
  // would wait for the session's thread, which runs no message loop.
  wchar_t wide[256] = {};
  InternalGetWindowText(GetDlgItem(dialog, kStatusControl), wide, 256);
  WideCharToMultiByte(CP_ACP, 0, wide, -1, status, sizeof status, nullptr, nullptr);
  // Whether the window answers, as Windows asks before it marks a window
  // not responding: a message sent from this other process, waited for
  // 5 s at most.
  DWORD_PTR result = 0;
  const bool answered = SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
  RECT box{};
  GetWindowRect(dialog, &box);
  const LONG_PTR ex_style = GetWindowLongPtrA(dialog, GWL_EXSTYLE);
  std::printf(
      "found=1\ntopmost=%d\nanswered=%d\nstatus=%s\nposition=%d\nwidth=%ld\nheight=%ld\nleft=%ld\n"
      "top=%ld\n",
      (ex_style & WS_EX_TOPMOST) != 0 ? 1 : 0, answered ? 1 : 0, status,
      BarPosition(GetDlgItem(dialog, kProgressBar)), box.right - box.left, box.bottom - box.top,
      box.left, box.top);
  return 0;
}
