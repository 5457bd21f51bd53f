// The Win32 renderer of the progress window: the dialog of template 101 and ProgressDlgProc.
#include "report/progress_dialog.h"

#include "platform/win32/windows_api.h"

// commctrl.h needs what windows.h declares.
#include <commctrl.h>

#include <map>

namespace zp {
namespace {

// One dialog's own state beside the shared rules: the status control's
// rectangle as the template made it (screen pixels).
struct DialogState {
  const ProgressWindow* window = nullptr;
  RECT saved_status{};
};

DialogState* StateOf(HWND dialog) {
  return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

// Gives the status control the saved width and `height`, where it stands.
void SizeStatus(HWND dialog, const RECT& saved, LONG height) {
  const HWND status = GetDlgItem(dialog, kStatusControl);
  SetWindowPos(status, nullptr, 0, 0, saved.right - saved.left + 1, height,
               SWP_NOMOVE | SWP_NOZORDER);
  InvalidateRect(status, nullptr, TRUE);
}

// Shows the bar for a non-zero total; hides it for 0, the status line then
// covering the bar's place so that its text is centred in the whole area.
void SetRange(HWND dialog, const DialogState& state, LPARAM total) {
  const HWND bar = GetDlgItem(dialog, kProgressBar);
  const RECT& saved = state.saved_status;
  if (total != 0) {
    if (!IsWindowVisible(bar)) {
      ShowWindow(bar, SW_SHOW);
      SizeStatus(dialog, saved, saved.bottom - saved.top + 1);
    }
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    return;
  }
  if (!IsWindowVisible(bar)) return;
  ShowWindow(bar, SW_HIDE);
  RECT place{};
  GetWindowRect(bar, &place);
  SizeStatus(dialog, saved, place.bottom - saved.top + 1);
}

// The window procedure: the private messages reflect the rules' state
// (ProgressWindow) on the real controls.
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM, LPARAM param) {
  if (message == WM_INITDIALOG) {
    auto* state = reinterpret_cast<DialogState*>(param);
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    GetWindowRect(GetDlgItem(dialog, kStatusControl), &state->saved_status);
    SendMessageA(dialog, kMsgSetRange, 0, 0);
    return TRUE;
  }
  DialogState* state = StateOf(dialog);
  if (!state) return 0;
  const HWND bar = GetDlgItem(dialog, kProgressBar);
  switch (message) {
    case kMsgSetText:
      SetDlgItemTextA(dialog, kStatusControl, param ? reinterpret_cast<const char*>(param) : "");
      InvalidateRect(dialog, nullptr, TRUE);
      UpdateWindow(dialog);
      return 0;
    case kMsgSetRange:
      SetRange(dialog, *state, param);
      return 0;
    case kMsgSetPos:
      if (state->window && state->window->total() != 0) {
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(state->window->position()), 0);
      }
      return 0;
    case kMsgDeltaPos:
      if (state->window && state->window->total() != 0) {
        // The bar's own advance, by what the rules moved the position.
        const auto shown = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
        SendMessageA(bar, PBM_DELTAPOS, static_cast<WPARAM>(state->window->position() - shown), 0);
      }
      return 0;
    default:
      return 0;
  }
}

class DialogRenderer : public ProgressRenderer {
 public:
  DialogRenderer() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
  }
  ~DialogRenderer() override {
    for (auto& [window, dialog] : dialogs_) DestroyWindow(dialog.handle);
  }
  DialogRenderer(const DialogRenderer&) = delete;
  DialogRenderer& operator=(const DialogRenderer&) = delete;

  void Created(const ProgressWindow& window) override {
    Dialog& dialog = dialogs_[&window];
    dialog.state.window = &window;
    dialog.handle = CreateDialogParamA(static_cast<HINSTANCE>(ProgressInstance()),
                                       MAKEINTRESOURCEA(kProgressDialog), nullptr, ProgressDlgProc,
                                       reinterpret_cast<LPARAM>(&dialog.state));
    if (!dialog.handle) {
      dialogs_.erase(&window);  // no display: this window draws nothing
      return;
    }
    SetWindowPos(dialog.handle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }

  void Message(const ProgressWindow& window, std::uint32_t message, std::intptr_t param) override {
    if (const HWND dialog = Handle(window)) {
      SendMessageA(dialog, message, 0, static_cast<LPARAM>(param));
    }
  }

  void Repaint(const ProgressWindow& window) override {
    const HWND dialog = Handle(window);
    if (!dialog) return;
    UpdateWindow(dialog);
    // No message loop runs, but a look at the queue (nothing is taken from
    // it) lets the system answer messages other programs send the window
    // and put what was painted on the screen; without it Windows marks a
    // window whose thread never looks as not responding, and Wine never
    // shows its drawing.
    MSG pending;
    PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE);
  }

  void Destroyed(const ProgressWindow& window) override {
    if (const HWND dialog = Handle(window)) DestroyWindow(dialog);
    dialogs_.erase(&window);
  }

  void* PlatformWindow(const ProgressWindow& window) const override { return Handle(window); }

 private:
  struct Dialog {
    HWND handle = nullptr;
    DialogState state;
  };

  HWND Handle(const ProgressWindow& window) const {
    const auto it = dialogs_.find(&window);
    return it == dialogs_.end() ? nullptr : it->second.handle;
  }

  // The state's address is handed to the dialog: map nodes never move.
  std::map<const ProgressWindow*, Dialog> dialogs_;
};

}  // namespace

std::unique_ptr<ProgressRenderer> MakeDialogRenderer() {
  return std::make_unique<DialogRenderer>();
}

}  // namespace zp
