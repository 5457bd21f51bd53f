// The command line of zp-handheld: the generation it plays, the world it
// serves, its addresses, its waits, who it says it is, the hostile
// behaviour asked for, and the serial line's text exchange (chat mode).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "simulator/handheld/hostile.h"

namespace zp::handheld {

struct Options {
  /// An older handheld (Pocket PC 2000/2002/2003): it dials the desktop's
  /// --legacy-port and serves sessions on its own --port.
  bool legacy = false;
  std::string world;  ///< the handheld's folder (device.reg, files/, faults)
  std::uint32_t device_ip = 0;
  std::uint32_t desktop_ip = 0;
  /// The desktop's control and session port; with `legacy`, the handheld's
  /// own session port.
  std::uint16_t port = 990;
  std::uint16_t legacy_port = 5679;   ///< with `legacy`: the desktop's control port
  std::uint16_t trigger_port = 5679;  ///< where the trigger datagram is awaited
  int wait_ms = 60000;      ///< for the trigger; with `legacy`, for the desktop's listener
  int idle_ms = 60000;      ///< no traffic at all for this long ends the program
  int io_ms = 30000;        ///< for each awaited answer, connection and frame body
  int unlock_after_ms = 0;  ///< the user's unlock on the device takes this long

  // Overrides of the world's [HKEY_LOCAL_MACHINE\Ident] values.
  std::optional<std::string> name;
  std::optional<std::string> guid;
  std::optional<std::uint32_t> partner;
  std::optional<std::uint32_t> lock;
  std::optional<std::string> password;

  Hostile hostile = Hostile::None;
  int hostile_at = 1;     ///< the session call the reply modes act on
  int trickle_ms = 1000;  ///< the gap between the bytes of a trickling mode

  // Chat mode: the handheld's side of the serial line's text exchange.
  std::string chat_tty;         ///< the tty; not empty: chat mode
  bool chat_nul = false;        ///< a NUL before each CLIENT
  int chat_repeat_ms = 1000;    ///< CLIENT again this often while nothing answers
  std::string chat_then;        ///< written once the answer came
  bool chat_ppp_first = false;  ///< a PPP flag instead of CLIENT: no exchange
};

/// What the command line came to.
enum class Parsed { Run, Help, Bad };

/// Reads argv; on Bad, `problem` says why.
Parsed ParseOptions(int argc, char** argv, Options& options, std::string& problem);

/// The text of --help.
std::string HelpText();

}  // namespace zp::handheld
