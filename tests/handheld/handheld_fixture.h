// A handheld world served by zp-handheld on loopback, and the tests'
// desktop in front of it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "handheld/desktop_side.h"
#include "handheld/handheld_process.h"
#include "support/device_world.h"
#include "support/reg_text.h"

namespace zp::test {

class HandheldLinkTest : public ::testing::Test {
 protected:
  HandheldLinkTest();

  /// device.reg: Ident (DeviceId 0x42, StrongARM, and what `more` adds
  /// to it), and the ZAMO key (DBState 3).
  void SetIdent(const std::function<void(RegText&)>& more);
  /// Starts zp-handheld on the world with short waits and `extra` options.
  void Start(const std::vector<std::string>& extra = {});
  /// Start(), the trigger and the handshake: the device info. Nothing (and
  /// a failure naming why) when it did not come.
  std::optional<link::DeviceInfo> Dock(const std::vector<std::string>& extra = {});
  /// Dock() and session 1, for the remote API's tests.
  Socket DockAndOpen(const std::vector<std::string>& extra = {});
  std::string HandheldOutput() const;

  DeviceWorld world;
  DesktopSide desktop;
  std::unique_ptr<HandheldProcess> handheld;
};

/// The le and rv words of a reply, and a reader after them.
struct Reply {
  explicit Reply(const std::vector<std::uint8_t>& body) : in(body), le(in.U32()), rv(in.U32()) {}
  link::WireReader in;
  std::uint32_t le;
  std::uint32_t rv;
};

}  // namespace zp::test
