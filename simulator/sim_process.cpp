// Starting programs on the simulated handheld: nothing runs; the start is
// written to started.log and the caller gets a process and a thread handle.
#include <fstream>

#include "platform/utf.h"
#include "simulator/sim_paths.h"
#include "simulator/sim_state.h"

namespace zp {

bool SimulatedDevice::CeCreateProcess(const std::u16string& application,
                                      const std::u16string& command_line, CeProcessInfo* info) {
  State& s = *state_;
  if (info) *info = CeProcessInfo{};
  if (s.Gate("CeCreateProcess", application, kErrorFileNotFound) == sim::Admit::Refuse) {
    return false;
  }
  const auto at = sim::Locate(s.files_root, application);
  if (!at || at->kind == sim::NodeKind::Missing) return s.Error(kErrorFileNotFound);
  if (at->kind == sim::NodeKind::Folder) return s.Error(kErrorAccessDenied);
  {
    std::ofstream log(std::filesystem::path(s.folder) / "started.log",
                      std::ios::binary | std::ios::app);
    log << utf::ToUtf8(application) << '\t' << utf::ToUtf8(command_line) << '\n';
    if (!log.flush()) return s.Error(kErrorAccessDenied);
  }
  if (!info) return true;  // nobody to give the handles to
  const std::uint32_t id = s.next_process_id;
  s.next_process_id += 8;
  info->hProcess = s.AddHandle({application, at->host, nullptr});
  info->hThread = s.AddHandle({application, at->host, nullptr});
  info->dwProcessId = id;
  info->dwThreadId = id + 4;
  return true;
}

}  // namespace zp
