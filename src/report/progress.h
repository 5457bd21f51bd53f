// The progress window: one status line and a byte-progress bar shown only
// while bytes are copied. The rules live in ProgressWindow; a renderer (the
// Win32 dialog, or the terminal) draws each window after every change.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zp {

/// The window's private messages (WM_USER on).
inline constexpr std::uint32_t kMsgSetText = 0x400;
inline constexpr std::uint32_t kMsgSetRange = 0x401;
inline constexpr std::uint32_t kMsgSetPos = 0x402;
inline constexpr std::uint32_t kMsgDeltaPos = 0x403;

/// One progress window's state and the rules of its messages.
class ProgressWindow {
 public:
  ProgressWindow();  ///< as after dialog initialisation: bar hidden, total 0

  /// The window procedure's handling of the private messages: text for
  /// kMsgSetText (null: empty), a total or a byte count for the others.
  /// SetPos makes `count` the bytes the position stands for; DeltaPos adds
  /// to them and sets the position to their share of the total.
  void SetText(const char* text);
  void SetRange(std::int32_t total);
  void SetPos(std::uint32_t count);
  void DeltaPos(std::uint32_t count);

  const std::string& status() const { return status_; }
  bool bar_visible() const { return bar_visible_; }
  /// The bar's position, always in 0..100.
  int position() const { return position_; }
  std::int32_t total() const { return total_; }
  /// The bytes advanced since the position was last set (plus that count).
  std::uint64_t bytes() const { return bytes_; }

 private:
  int Percent(std::uint64_t count) const;

  std::string status_;
  bool bar_visible_ = false;
  int position_ = 0;
  std::int32_t total_ = 0;
  std::uint64_t bytes_ = 0;
};

/// Draws windows. One renderer serves the process.
class ProgressRenderer {
 public:
  virtual ~ProgressRenderer() = default;
  /// A window was created (it lies over every earlier one).
  virtual void Created(const ProgressWindow& window) = 0;
  /// The window has just handled one of its private messages (kMsgSetText
  /// ...; `param` as the message carries it): the renderer reflects the
  /// window's new state on what it draws. Repaint follows.
  virtual void Message(const ProgressWindow& /*window*/, std::uint32_t /*message*/,
                       std::intptr_t /*param*/) {}
  /// Repaint at once after a change; the window answers what was sent or
  /// posted to it meanwhile.
  virtual void Repaint(const ProgressWindow& window) = 0;
  /// Between steps of work that moves no bar: the windows answer what was
  /// sent or posted to them meanwhile, so that none looks hung.
  virtual void Idle() {}
  /// The window is gone.
  virtual void Destroyed(const ProgressWindow& window) = 0;
  /// The platform window drawn for `window` (an HWND), or null when the
  /// renderer draws no window of its own.
  virtual void* PlatformWindow(const ProgressWindow& /*window*/) const { return nullptr; }
};

/// Installs the renderer (null: draw nothing). Returns the previous one.
std::unique_ptr<ProgressRenderer> SetProgressRenderer(std::unique_ptr<ProgressRenderer> r);

/// Makes a new current window with the text and total (0: no bar). An
/// earlier current window is left as it is. `parent` is ignored off Windows.
ProgressWindow* CreateProgress(void* parent, const char* text, std::int32_t total);
void SetProgressText(const char* text);
void SetProgressRange(std::int32_t total);
/// The ProgressSink of the block copies.
void StepProgress(std::uint32_t count);
void DestroyProgress();
/// Called between the steps of work that shows no progress (a delete pass,
/// a file moved): the windows keep answering (ProgressRenderer::Idle).
void KeepProgressAnswering();

/// The current window, or null.
ProgressWindow* CurrentProgress();
/// The platform window of the current window, as the renderer made it (the
/// owner of the installer's question); null when there is none.
void* CurrentProgressHandle();

/// The program's instance handle, kept by the entry point for the renderer
/// that loads the dialog template (null off Windows).
void SetProgressInstance(void* instance);
void* ProgressInstance();

/// Hides the current window's bar when it goes out of scope: the cleanup
/// of every stage that shows the bar.
struct ProgressBarReset {
  ProgressBarReset() = default;
  ProgressBarReset(const ProgressBarReset&) = delete;
  ProgressBarReset& operator=(const ProgressBarReset&) = delete;
  ~ProgressBarReset() { SetProgressRange(0); }
};

/// A callback taking the bytes of the block just written.
using ProgressSink = std::function<void(std::uint32_t count)>;

}  // namespace zp
