// The current progress window and the operations that drive it.
#include <cstdint>
#include <memory>
#include <vector>

#include "report/progress.h"

namespace zp {
namespace {

struct ProgressModule {
  std::unique_ptr<ProgressRenderer> renderer;
  // Every window made in this process; an earlier window that is no longer
  // current stays where it is until the process ends.
  std::vector<std::unique_ptr<ProgressWindow>> windows;
  ProgressWindow* current = nullptr;
  void* instance = nullptr;
};

ProgressModule& Module() {
  static ProgressModule module;
  return module;
}

// The message as the window's procedure gets it, passed on to the renderer.
void Deliver(const ProgressWindow& window, std::uint32_t message, std::intptr_t param) {
  if (auto& renderer = Module().renderer) renderer->Message(window, message, param);
}

void Repaint(const ProgressWindow& window) {
  if (auto& renderer = Module().renderer) renderer->Repaint(window);
}

}  // namespace

std::unique_ptr<ProgressRenderer> SetProgressRenderer(std::unique_ptr<ProgressRenderer> r) {
  std::swap(Module().renderer, r);
  return r;
}

ProgressWindow* CreateProgress(void* /*parent*/, const char* text, std::int32_t total) {
  auto& module = Module();
  module.windows.push_back(std::make_unique<ProgressWindow>());
  ProgressWindow* window = module.windows.back().get();
  module.current = window;
  if (module.renderer) module.renderer->Created(*window);
  window->SetRange(total);
  Deliver(*window, kMsgSetRange, total);
  window->SetPos(0);
  Deliver(*window, kMsgSetPos, 0);
  SetProgressText(text);
  return window;
}

void SetProgressText(const char* text) {
  if (ProgressWindow* window = Module().current) {
    window->SetText(text);
    Deliver(*window, kMsgSetText, reinterpret_cast<std::intptr_t>(text));
    Repaint(*window);
  }
}

void SetProgressRange(std::int32_t total) {
  if (ProgressWindow* window = Module().current) {
    window->SetRange(total);
    Deliver(*window, kMsgSetRange, total);
    Repaint(*window);
  }
}

void StepProgress(std::uint32_t count) {
  if (ProgressWindow* window = Module().current) {
    window->DeltaPos(count);
    Deliver(*window, kMsgDeltaPos, static_cast<std::intptr_t>(count));
    Repaint(*window);
  }
}

void DestroyProgress() {
  auto& module = Module();
  if (!module.current) return;
  if (module.renderer) module.renderer->Destroyed(*module.current);
  std::erase_if(module.windows, [&](const auto& w) { return w.get() == module.current; });
  module.current = nullptr;
}

void KeepProgressAnswering() {
  if (auto& renderer = Module().renderer) renderer->Idle();
}

ProgressWindow* CurrentProgress() {
  return Module().current;
}

void* CurrentProgressHandle() {
  const auto& module = Module();
  if (!module.current || !module.renderer) return nullptr;
  return module.renderer->PlatformWindow(*module.current);
}

void SetProgressInstance(void* instance) {
  Module().instance = instance;
}

void* ProgressInstance() {
  return Module().instance;
}

}  // namespace zp
