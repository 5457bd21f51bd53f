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
  if (option == "--hostile-at") {
    const auto n = ParseNumber<int>(value);
    if (!n || *n < 1) return Bad(problem, "--hostile-at: not a call number (1 or more)");
    o.hostile_at = *n;
    return true;
  }
  return Bad(problem, "unknown option " + std::string(option));
}

}  // namespace

Parsed ParseOptions(int argc, char** argv, Options& options, std::string& problem) {
  bool have_device = false;
  bool have_desktop = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--help" || option == "-h") return Parsed::Help;
    if (i + 1 >= argc) {
      problem = std::string(option) + " needs a value";
      return Parsed::Bad;
    }
    if (!Take(option, argv[++i], options, problem)) return Parsed::Bad;
    have_device = have_device || option == "--device";
    have_desktop = have_desktop || option == "--desktop";
  }
  if (options.world.empty() || !have_device || !have_desktop) {
    problem = "--world, --device and --desktop are needed";
    return Parsed::Bad;
  }
  return Parsed::Run;
}

std::string HelpText() {
  return R"(zp-handheld: a Windows Mobile 5+ handheld on the network, for tests.
It serves a simulated handheld's folder (device.reg, files/, faults) over the
handheld's own link: it waits for the desktop's trigger, connects to the
desktop's control port, sends its device info, and serves the remote API on
every session the desktop asks for. Every fault rule of the folder applies;
a lost link is a connection closed without its reply.

Usage: zp-handheld --world FOLDER --device ADDRESS --desktop ADDRESS [options]

  --world FOLDER         the handheld's folder
  --device ADDRESS       the handheld's IPv4 address: the trigger is awaited
                         on ADDRESS:5679 (UDP), connections leave from it
  --desktop ADDRESS      the desktop's IPv4 address, connected on port 990
  --port N               the desktop's port instead of 990 (unprivileged use)
  --trigger-port N       the trigger's port instead of 5679
  --wait-ms N            how long to wait for the trigger (default 60000)
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
                         device, other: desktop password (Ident "LockKey")
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
  --hostile-at N         the session call whose reply the frame-over-cap,
                         frame-truncated, reply-short, stall and
                         trickle-reply modes spoil (default 1; in the first
                         session that reaches it)
  --trickle-ms N         the gap between the bytes of the trickling modes
                         (default 1000)
  --help                 this text

Numbers are decimal or 0x hex. Exit codes: 0 the link ended (the desktop
closed the control connection, --idle-ms passed, or SIGTERM); 1 the link
could not be made (no trigger, no connection); 2 a bad command line; 86 a
`kill` fault rule.
)";
}

}  // namespace zp::handheld
