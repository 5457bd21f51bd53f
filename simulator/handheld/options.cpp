// Reading zp-handheld's command line.
#include "simulator/handheld/options.h"

#include <charconv>
#include <limits>
#include <string_view>

#include "platform/sockets.h"
#include "simulator/number_text.h"

namespace zp::handheld {
namespace {

bool Bad(std::string& problem, std::string text) {
  problem = std::move(text);
  return false;
}

// One option and its value into `o`; false (and `problem`) when it cannot be read.
bool Take(std::string_view option, std::string_view value, Options& o, std::string& problem) {
  const auto milliseconds = [&](int& into) {
    const auto n = ParseNumber<int>(value);
    if (!n || *n < 0) return Bad(problem, std::string(option) + ": not a number of milliseconds");
    into = *n;
    return true;
  };
  const auto port = [&](std::uint16_t& into) {
    const auto n = ParseNumber<std::uint16_t>(value);
    if (!n || *n == 0) return Bad(problem, std::string(option) + ": not a port");
    into = *n;
    return true;
  };
  const auto address = [&](std::uint32_t& into) {
    const auto ip = ParseIpv4(value);
    if (!ip) return Bad(problem, std::string(option) + ": not an IPv4 address");
    into = *ip;
    return true;
  };
  const auto dword = [&](std::optional<std::uint32_t>& into) {
    const auto n = ParseNumber<std::uint32_t>(value);
    if (!n) return Bad(problem, std::string(option) + ": not a 32-bit number");
    into = *n;
    return true;
  };
  if (option == "--world") return o.world = value, true;
  if (option == "--device") return address(o.device_ip);
  if (option == "--desktop") return address(o.desktop_ip);
  if (option == "--port") return port(o.port);
  if (option == "--legacy-port") return port(o.legacy_port);
  if (option == "--trigger-port") return port(o.trigger_port);
  if (option == "--wait-ms") return milliseconds(o.wait_ms);
  if (option == "--idle-ms") return milliseconds(o.idle_ms);
  if (option == "--io-ms") return milliseconds(o.io_ms);
  if (option == "--unlock-after-ms") return milliseconds(o.unlock_after_ms);
  if (option == "--trickle-ms") return milliseconds(o.trickle_ms);
  if (option == "--name") return o.name = std::string(value), true;
  if (option == "--guid") return o.guid = std::string(value), true;
  if (option == "--password") return o.password = std::string(value), true;
  if (option == "--partner") return dword(o.partner);
  if (option == "--lock") return dword(o.lock);
  if (option == "--hostile") {
    const auto mode = ParseHostile(value);
    if (!mode) return Bad(problem, "--hostile: no such mode: " + std::string(value));
    o.hostile = *mode;
    return true;
  }
  if (option == "--chat-tty") return o.chat_tty = value, true;
  if (option == "--chat-then") return o.chat_then = value, true;
  if (option == "--chat-repeat-ms") return milliseconds(o.chat_repeat_ms);
  if (option == "--hostile-at") {
    const auto n = ParseNumber<int>(value);
    if (!n || *n < 1) return Bad(problem, "--hostile-at: not a call number (1 or more)");
    o.hostile_at = *n;
    return true;
  }
  return Bad(problem, "unknown option " + std::string(option));
}

// An option without a value into `o`; false when `option` is not one.
bool TakeFlag(std::string_view option, Options& o) {
  if (option == "--legacy") return o.legacy = true;
  if (option == "--chat-nul") return o.chat_nul = true;
  if (option == "--chat-ppp-first") return o.chat_ppp_first = true;
  return false;
}

// Whether the hostile mode asked for fits the generation played.
bool HostileFits(const Options& o, std::string& problem) {
  if (o.legacy && !ServesLegacy(o.hostile)) {
    return Bad(problem, "--hostile " + std::string(HostileName(o.hostile)) +
                            " has no meaning with --legacy");
  }
  if (!o.legacy && LegacyOnly(o.hostile)) {
    return Bad(problem, "--hostile " + std::string(HostileName(o.hostile)) + " needs --legacy");
  }
  return true;
}

}  // namespace

Parsed ParseOptions(int argc, char** argv, Options& options, std::string& problem) {
  bool have_device = false;
  bool have_desktop = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--help" || option == "-h") return Parsed::Help;
    if (TakeFlag(option, options)) continue;
    if (i + 1 >= argc) {
      problem = std::string(option) + " needs a value";
      return Parsed::Bad;
    }
    if (!Take(option, argv[++i], options, problem)) return Parsed::Bad;
    have_device = have_device || option == "--device";
    have_desktop = have_desktop || option == "--desktop";
  }
  if (!options.chat_tty.empty()) return Parsed::Run;  // the serial line alone
  if (options.world.empty() || !have_device || !have_desktop) {
    problem = "--world, --device and --desktop are needed (or --chat-tty)";
    return Parsed::Bad;
  }
  return HostileFits(options, problem) ? Parsed::Run : Parsed::Bad;
}

std::string HelpText() {
  return R"(zp-handheld: a handheld on the network, for tests.
It serves a simulated handheld's folder (device.reg, files/, faults) over the
handheld's own link. Every fault rule of the folder applies; a lost link is a
connection closed without its reply.

A Windows Mobile 5+ handheld (the default): it waits for the desktop's trigger,
connects to the desktop's control port, sends its device info, and serves the
remote API on every session the desktop asks for.

An older handheld (--legacy: Pocket PC 2000/2002/2003): it listens on its own
ADDRESS:990 (TCP) for the desktop's session connections, and dials the
desktop's port 5679 from its own address at once (no trigger), again every
250 ms until --wait-ms passes. There it sends 0 (a lock key of 0x200 or more
instead when locked, as the password challenge), then the length and the info
packet, reads the desktop's password when locked (three refusals close the
connection), and echoes every ping; anything else, or the desktop's close,
ends the link. Each connection to its 990 from the desktop's address is one
session (locked: a password first, answered with one byte) of the older
remote API.

Usage: zp-handheld --world FOLDER --device ADDRESS --desktop ADDRESS [options]
       zp-handheld --legacy --world FOLDER --device ADDRESS --desktop ADDRESS [options]
       zp-handheld --chat-tty PATH [chat options]

  --world FOLDER         the handheld's folder
  --device ADDRESS       the handheld's IPv4 address: the trigger is awaited
                         on ADDRESS:5679 (UDP), connections leave from it;
                         --legacy: sessions are served on ADDRESS:990 (TCP)
  --desktop ADDRESS      the desktop's IPv4 address, connected on port 990
                         (--legacy: on port 5679)
  --port N               the desktop's port instead of 990 (unprivileged use);
                         --legacy: the handheld's own session port instead of 990
  --legacy               play an older handheld (Pocket PC 2000/2002/2003)
  --legacy-port N        --legacy: the desktop's control port instead of 5679
  --trigger-port N       the trigger's port instead of 5679
  --wait-ms N            how long to wait for the trigger (--legacy: for the
                         desktop to accept the control connection; chat mode:
                         for the desktop's answer) (default 60000)
  --idle-ms N            end after N ms with no traffic (default 60000)
  --io-ms N              how long to wait for an answer, a connection or the
                         rest of a frame (default 30000)
  --unlock-after-ms N    locked on the device: the user unlocks N ms after
                         the desktop asks (default 0)
  --name TEXT            the device name (device.reg Ident "Name", default
                         Pocket_PC)
  --guid {GUID}          the device GUID (Ident "Guid", default made from
                         the partner id: {<DeviceId as 8 hex>-0000-0000-0000-000000000000})
  --partner N            the current partner id (Ident "DeviceId", default 0)
  --lock N               the lock key: 0 none, 0xFFFFFFFF unlocked on the
                         device, other: desktop password (Ident "LockKey");
                         --legacy: 0 none, else the challenge word, which
                         must be 0x200 or more and not 0x12345678
  --password TEXT        the password accepted (Ident "Password")
  --hostile MODE         misbehave: never-connect, info-overrun,
                         info-long-name, info-over-cap, frame-over-cap,
                         frame-truncated, reply-short, stall, second-info,
                         wrong-session, reconnect (after the first session
                         opens: a new control connection from the same
                         address, its handshake, then the old one closed),
                         trickle-info (the device info one byte at a time),
                         trickle-reply, listing-flood (the first listing:
                         100,000 entries of the least size its flags allow),
                         unknown-words (1,000 unknown control words after
                         the handshake), bad-first (a connection whose info
                         packet overruns, closed, before the real one),
                         reconnect-at-request (the first session request
                         is not served: a new control connection instead)
                         --legacy: frame-over-cap, frame-truncated,
                         reply-short (the frame holds only its flag),
                         stall, trickle-info (the first word, the length and
                         the info packet one byte at a time), trickle-reply,
                         and these of the older link alone:
                         legacy-offset-out (the name's offset lies outside
                         the info packet), legacy-name-no-nul (the name
                         runs to the packet's end with no NUL),
                         legacy-short-header (0x10 in place of the info
                         packet's length), legacy-bad-flag (the Nth reply's
                         flag is 2), legacy-hang (the Nth reply never comes,
                         and no ping is echoed from then on),
                         legacy-second-control (after the first session
                         opens, a second connection to the control port)
  --hostile-at N         the session call whose reply the frame-over-cap,
                         frame-truncated, reply-short, stall, trickle-reply,
                         legacy-bad-flag and legacy-hang modes spoil
                         (default 1; in the first session that reaches it)
  --trickle-ms N         the gap between the bytes of the trickling modes
                         (default 1000)
  --help                 this text

Chat mode: the handheld's side of the serial line's text exchange, for the
serial line's tests (no --world, --device or --desktop):
  --chat-tty PATH        open the tty PATH (a pty's slave end), make it raw,
                         write CLIENT, and read until CLIENTSERVER came
  --chat-nul             a NUL before each CLIENT
  --chat-repeat-ms N     CLIENT again every N ms until the desktop sends
                         anything (default 1000; 0: once)
  --chat-then TEXT       written once CLIENTSERVER came (default nothing;
                         "~" looks like PPP starting)
  --chat-ppp-first       a PPP flag (~) instead of CLIENT, then the end after
                         500 ms: a handheld that already runs PPP
  --wait-ms N            how long to wait for CLIENTSERVER (default 60000)

Numbers are decimal or 0x hex. Exit codes: 0 the link ended (the desktop
closed the control connection, --idle-ms passed, or SIGTERM; chat mode: the
exchange is done); 1 the link could not be made (no trigger, no connection,
--legacy: a session port that cannot be bound, three refused passwords; chat
mode: no answer in time, or a tty that cannot be opened); 2 a bad command line
(--legacy also: a lock key that cannot be a challenge, a name too long for the
info packet); 86 a `kill` fault rule.
)";
}

}  // namespace zp::handheld
