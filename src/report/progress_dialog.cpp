// The Win32 renderer of the progress window: the dialog of template 101 and ProgressDlgProc.
#include "report/progress_dialog.h"

#include "platform/win32/windows_api.h"

// commctrl.h needs what windows.h declares.
#include <commctrl.h>

#include <map>

#include "platform/win32/win32_messages.h"

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

// The dialog and every control in it painted anew now: a control whose
// text changed is repainted with it, not only the dialog behind them.
void RedrawAll(HWND dialog) {
  RedrawWindow(dialog, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// What is waiting to be painted, in the dialog and in its controls (the
// bar a step moved), painted now; nothing else.
void PaintPending(HWND dialog) {
  RedrawWindow(dialog, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The private message handled: TRUE, and the message's result 0. Three of
// them share their numbers with the dialog manager's DM_GETDEFID,
// DM_SETDEFID and DM_REPOSITION: a dialog procedure that returned FALSE
// would let the dialog manager act on them as well (DM_REPOSITION moves
// the dialog).
INT_PTR Handled(HWND dialog) {
  SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
  return TRUE;
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
  const bool ours = message >= kMsgSetText && message <= kMsgDeltaPos;
  DialogState* state = StateOf(dialog);
  if (!state) return ours ? Handled(dialog) : FALSE;
  const HWND bar = GetDlgItem(dialog, kProgressBar);
  switch (message) {
    case kMsgSetText:
      SetDlgItemTextA(dialog, kStatusControl, param ? reinterpret_cast<const char*>(param) : "");
      RedrawAll(dialog);
      return Handled(dialog);
    case kMsgSetRange:
      SetRange(dialog, *state, param);
      RedrawAll(dialog);  // the bar shown or hidden, the status line resized
      return Handled(dialog);
    case kMsgSetPos:
      if (state->window && state->window->total() != 0) {
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(state->window->position()), 0);
      }
      return Handled(dialog);
    case kMsgDeltaPos:
      if (state->window && state->window->total() != 0) {
        // The bar's own advance, by what the rules moved the position.
        const auto shown = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
        SendMessageA(bar, PBM_DELTAPOS, static_cast<WPARAM>(state->window->position() - shown), 0);
      }
      return Handled(dialog);
    default:
      return FALSE;
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
    if (const HWND dialog = Handle(window)) PaintPending(dialog);
    // No message loop runs: what was sent or posted to the window meanwhile
    // is handled here, at every step, so that Windows never finds it not
    // responding (after 5 s without it) and paints a ghost over it.
    win32::HandlePendingMessages();
  }

  void Idle() override { win32::HandlePendingMessages(); }

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
