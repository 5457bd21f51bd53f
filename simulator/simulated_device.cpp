// The simulated handheld: construction, the choke point, the connection,
// system information and the error codes.
#include "simulator/simulated_device.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/utf.h"
#include "simulator/sim_state.h"

namespace zp {

SimulatedDevice::State::State(std::string device_folder, std::string desktop_reg, FaultRules& rules,
                              std::vector<std::string>& lines)
    : folder(std::move(device_folder)),
      desktop_registry(std::move(desktop_reg)),
      files_root(std::filesystem::path(folder) / "files"),
      faults(rules),
      journal(lines) {}

bool SimulatedDevice::State::DeviceExists() const {
  std::error_code ec;
  return !folder.empty() && std::filesystem::is_directory(folder, ec);
}

std::string SimulatedDevice::State::DeviceRegFile() const {
  return (std::filesystem::path(folder) / "device.reg").string();
}

CeHandle SimulatedDevice::State::AddHandle(sim::OpenHandle handle) {
  const auto value = static_cast<CeHandle>(next_handle);
  next_handle += 4;
  handles.emplace(value, std::move(handle));
  return value;
}

sim::Admit SimulatedDevice::State::Gate(std::string_view operation, const std::u16string& path,
                                        std::uint32_t usual, bool needs_connection) {
  if (keep_journal) {
    std::string line(operation);
    if (!path.empty()) line += " " + utf::ToUtf8(path);
    journal.push_back(std::move(line));
  }
  if (const int delay = faults.DelayMilliseconds(operation); delay > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }
  rapi_error = 0;
  bool short_write = false;
  switch (faults.Check(operation, path)) {
    case FaultRules::Outcome::Disconnected:
      last_error = kErrorNotConnected;
      rapi_error = kHresultConnectionLost;
      return sim::Admit::Refuse;
    case FaultRules::Outcome::Fail:
      last_error = faults.last_error() != 0 ? faults.last_error() : usual;
      return sim::Admit::Refuse;
    case FaultRules::Outcome::ShortWrite:
      short_write = operation == "CeWriteFile";
      break;
    case FaultRules::Outcome::Lost:
      if (needs_connection && !connected) break;  // refused below, as without the rule
      return sim::Admit::ServeThenFail;
    case FaultRules::Outcome::Pass:
      break;
  }
  if (needs_connection && !connected) {
    last_error = kErrorNotConnected;
    rapi_error = kHresultFail;
    return sim::Admit::Refuse;
  }
  return short_write ? sim::Admit::ShortWrite : sim::Admit::Serve;
}

bool SimulatedDevice::State::LoseReply(std::uint32_t usual) {
  if (faults.last_drops()) {
    faults.DisconnectNow();
    last_error = kErrorNotConnected;
    rapi_error = kHresultConnectionLost;
  } else {
    last_error = faults.last_error() != 0 ? faults.last_error() : usual;
  }
  return false;
}

SimulatedDevice::SimulatedDevice(std::string folder, std::string desktop_registry) {
  // Built here, not in the initialiser list, so that it binds to members
  // that already exist.
  state_ =
      std::make_unique<State>(std::move(folder), std::move(desktop_registry), faults_, journal_);
  if (state_->folder.empty()) return;
  const std::string file = (std::filesystem::path(state_->folder) / "faults").string();
  std::ifstream in(file, std::ios::binary);
  if (!in) return;
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<std::string> problems;
  faults_ = FaultRules::Parse(text.str(), &problems);
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "%s:%s\n", file.c_str(), problem.c_str());
  }
}

SimulatedDevice::~SimulatedDevice() = default;

void SimulatedDevice::KeepJournal(bool keep) {
  state_->keep_journal = keep;
}

std::int32_t SimulatedDevice::CeRapiInit() {
  State& s = *state_;
  if (s.Gate("CeRapiInit", {}, kErrorNotConnected, false) == sim::Admit::Refuse) {
    return s.rapi_error != 0 ? s.rapi_error : kHresultFail;
  }
  if (s.connected) {
    s.last_error = kErrorGenFailure;
    return kHresultAlreadyInitialized;
  }
  if (!s.DeviceExists()) {
    s.last_error = kErrorNotConnected;
    return kHresultFail;
  }
  auto registry = regfile::Load(s.DeviceRegFile(), regfile::Strings::Wide);
  if (!registry) {  // present but unreadable: never serve (and later overwrite) a blank one
    s.last_error = kErrorReadFault;
    return kHresultFail;
  }
  s.registry = std::move(*registry);
  s.connected = true;
  return 0;
}

std::int32_t SimulatedDevice::CeRapiUninit() {
  State& s = *state_;
  if (s.Gate("CeRapiUninit", {}, kErrorGenFailure, false) == sim::Admit::Refuse) {
    return s.rapi_error != 0 ? s.rapi_error : kHresultFail;
  }
  if (!s.connected) {
    s.last_error = kErrorNotConnected;
    return kHresultFail;
  }
  s.connected = false;
  return 0;
}

void SimulatedDevice::CeGetSystemInfo(CeSystemInfo* info) {
  State& s = *state_;
  const bool served = s.Gate("CeGetSystemInfo", {}, kErrorGenFailure) != sim::Admit::Refuse;
  if (!info) return;
  *info = CeSystemInfo{};
  if (served) {
    info->dwProcessorType = sim::ReadDword(s.registry, sim::kIdentKey, "ProcessorType").value_or(0);
  }
}

// Both are answered by the desktop side of the connection from what the
// last call left, so they pass no choke point and are never journaled.
std::uint32_t SimulatedDevice::CeGetLastError() {
  return state_->last_error;
}
std::int32_t SimulatedDevice::CeRapiGetError() {
  return state_->rapi_error;
}

std::size_t SimulatedDevice::OpenHandles() const {
  return state_->handles.size() + state_->services.size();
}
std::size_t SimulatedDevice::OpenBuffers() const {
  return state_->buffers.size();
}
std::size_t SimulatedDevice::OpenKeys() const {
  return state_->keys.size();
}

}  // namespace zp
