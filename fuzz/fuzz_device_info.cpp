// Fuzzes the handheld's device info packet: no input harms the parser, and
// whatever it takes is written back to bytes that read the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/device_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string problem;
  const auto info = zp::link::ParseDeviceInfo({data, size}, problem);
  if (!info) {
    if (problem.empty()) std::abort();  // every refusal says why
    return 0;
  }
  if (info->name.size() > zp::link::kMaxDeviceNameUnits) std::abort();
  const auto again = zp::link::ParseDeviceInfo(zp::link::BuildDeviceInfo(*info), problem);
  if (!again || again->name != info->name || again->guid != info->guid ||
      again->lock_key != info->lock_key || again->partner_id != info->partner_id) {
    std::abort();
  }
  const std::uint32_t id = zp::link::LinkDeviceId(*info);
  if (id == 0 || id == 0xFFFFFFFFu) std::abort();
  return 0;
}
