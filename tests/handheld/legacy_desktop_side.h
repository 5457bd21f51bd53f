// A minimal desktop of the older link for zp-handheld's tests, written with
// raw sockets and the wire reader and writer only: the listener of the
// control connection, its first words and info packet, passwords, the
// session connections to the handheld, and a world served by zp-handheld
// --legacy in front of it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "handheld/desktop_side.h"
#include "handheld/handheld_process.h"
#include "platform/sockets.h"
#include "support/device_world.h"
#include "support/reg_text.h"

namespace zp::test {

/// What the handheld sends first on its control connection.
struct LegacyOpening {
  std::uint32_t first = 0;   ///< 0, or the password challenge
  std::uint32_t header = 0;  ///< the info packet's length
  std::vector<std::uint8_t> packet;
};

class LegacyDesktop {
 public:
  /// Listens on the desktop's address, port 5679 when it can (else an
  /// unprivileged one), and picks the handheld's session port the same way.
  LegacyDesktop();

  const LoopbackPair& addresses() const { return addresses_; }
  /// The command line's generation and address options for zp-handheld.
  std::vector<std::string> Args() const;

  /// Takes the handheld's control connection; false when none came from its
  /// address.
  bool AcceptControl();
  /// The first word, the header and (for a header that is an info packet's
  /// length) the packet.
  std::optional<LegacyOpening> ReadOpening();
  bool Send(std::initializer_list<std::uint32_t> words);
  bool SendBytes(std::span<const std::uint8_t> bytes);
  std::optional<std::uint32_t> ReadWord();
  std::optional<std::uint16_t> ReadU16();
  Socket& control() { return control_; }

  /// A session connection to the handheld, from the desktop's address (or
  /// `from`); empty when it could not be made.
  Socket Connect(std::uint32_t from = 0) const;

 private:
  LoopbackPair addresses_;
  std::uint16_t control_port_ = 5679;
  std::uint16_t session_port_ = 990;
  Socket listener_;
  Socket control_;
};

/// A password as the older link sends it: u16 byte count, then the UTF-16LE
/// text with its NUL, every byte XOR'ed with the key's low byte.
std::vector<std::uint8_t> LegacyPassword(const std::u16string& password, std::uint32_t key);

// Bytes as the tests write them.
using Bytes = std::vector<std::uint8_t>;
/// "1A000000 17000000": the bytes, spaces ignored.
Bytes Hex(std::string_view text);
Bytes Le32(std::uint32_t value);
/// UTF-16LE units, no NUL.
Bytes Units(std::u16string_view text);
Bytes operator+(Bytes a, const Bytes& b);

class LegacyLinkTest : public ::testing::Test {
 protected:
  LegacyLinkTest();

  /// device.reg's Ident: Field_7, DeviceId 0x42, StrongARM, and what `more` adds.
  void SetIdent(const std::function<void(RegText&)>& more);
  /// Starts zp-handheld --legacy on the world with short waits and `extra`.
  void Start(const std::vector<std::string>& extra = {});
  /// Start(), the control connection and what the handheld sends first.
  std::optional<LegacyOpening> Dock(const std::vector<std::string>& extra = {});
  /// Dock() and one session connection (no lock).
  Socket DockAndConnect();
  /// A request's exact bytes in; the whole reply frame out (empty: none).
  Bytes Exchange(const Socket& session, const Bytes& request);
  /// A call whose reply must come: its body, from the flag on.
  Bytes Must(const Socket& session, link::WireWriter request);
  std::string Output() const;

  DeviceWorld world;
  LegacyDesktop desktop;
  std::unique_ptr<HandheldProcess> handheld;
};

}  // namespace zp::test
