// The command line of zp-handheld: the world it serves, its addresses,
// its waits, who it says it is, and the hostile behaviour asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "simulator/handheld/hostile.h"

namespace zp::handheld {

struct Options {
  std::string world;  ///< the handheld's folder (device.reg, files/, faults)
  std::uint32_t device_ip = 0;
  std::uint32_t desktop_ip = 0;
  std::uint16_t port = 990;           ///< the desktop's control and session port
  std::uint16_t trigger_port = 5679;  ///< where the trigger datagram is awaited
  int wait_ms = 60000;                ///< for the trigger
  int idle_ms = 60000;                ///< no traffic at all for this long ends the program
  int io_ms = 30000;                  ///< for each awaited answer, connection and frame body
  int unlock_after_ms = 0;            ///< the user's unlock on the device takes this long

  // Overrides of the world's [HKEY_LOCAL_MACHINE\Ident] values.
  std::optional<std::string> name;
  std::optional<std::string> guid;
  std::optional<std::uint32_t> partner;
  std::optional<std::uint32_t> lock;
  std::optional<std::string> password;

  Hostile hostile = Hostile::None;
  int hostile_at = 1;     ///< the session call the reply modes act on
  int trickle_ms = 1000;  ///< the gap between the bytes of a trickling mode
};

/// What the command line came to.
enum class Parsed { Run, Help, Bad };

/// Reads argv; on Bad, `problem` says why.
Parsed ParseOptions(int argc, char** argv, Options& options, std::string& problem);

/// The text of --help.
std::string HelpText();

}  // namespace zp::handheld
