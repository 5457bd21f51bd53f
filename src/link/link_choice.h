// Which handheld link a session uses, from ZAMOPOCKET_LINK and the
// machine's network interfaces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/control_link.h"
#include "platform/net_interfaces.h"

namespace zp::link {

/// The address every handheld gives itself on its link.
inline constexpr std::uint32_t kHandheldAddress = 0xA9FE0201u;  // 169.254.2.1
/// The network every handheld's link is on: 169.254.2.0/24.
inline constexpr std::uint32_t kHandheldNetwork = 0xA9FE0200u;
/// The hardware address every Windows Mobile handheld's adapter shows.
inline constexpr char kHandheldMac[] = "80:00:60:0f:e8:00";

struct LinkChoice {
  std::optional<LinkConfig> config;  ///< the link to run
  std::string problem;               ///< why there is none, when that is worth a log line
};

/// True for an interface a docked handheld brought up: the RNDIS driver on a
/// USB interface of class ef/01/01, or the handhelds' hardware address.
bool IsHandheldInterface(const NetInterface& net);

/// The Windows rule, where no driver or USB class is at hand and the
/// adapter's name is localised and shared with phone tethering: the
/// handhelds' hardware address with an IPv4 address in 169.254.2.0/24.
bool IsHandheldAdapter(const NetInterface& net);

using HandheldRule = bool (*)(const NetInterface&);

/// `link`: "LOCAL,DEVICE" (two IPv4 addresses), an interface (its name, or
/// its `socket_interface`: on Windows the adapter's index), or null (the one
/// interface `is_handheld` takes). `timeouts`: the override, or null. No
/// config and no problem: nothing is docked.
LinkChoice ChooseLink(const char* link, const char* timeouts,
                      const std::vector<NetInterface>& interfaces,
                      HandheldRule is_handheld = IsHandheldInterface);

/// The Windows program's two ways to the handheld.
enum class DevicePath {
  Dlls,  ///< ActiveSync's or WMDC's rapi.dll and ceutil.dll
  Link,  ///< the handheld's own link
};
/// The DLLs when they load and report a docked device (`dll_device_id`, 0
/// when they are missing or see none), exactly as without the link; else
/// the link when there is one to run, or a problem with it to log; else
/// the DLLs, which find no device ("Unknown device").
DevicePath ChooseDevicePath(std::uint32_t dll_device_id, const LinkChoice& link);

/// The argument the scheduled task of the Windows package starts the
/// program with at every network connection.
inline constexpr char kDockArgument[] = "/dock";

/// True for a command line that is that argument, whatever its case and
/// the blanks around it. Any other command line is ignored, as it always was.
bool IsDockRun(const char* command_line);

/// Whether a run started by a network connection goes on: over the
/// handheld's own link only, so never where ActiveSync's or WMDC's DLLs
/// load (`dlls_loaded`: AutoStartOnConnect starts their session at every
/// docking), and only when there is a handheld's link to run or a problem
/// with one worth a log line. Any other network that connects ends it at
/// once, with no log line.
bool DockRunGoesOn(bool dlls_loaded, const LinkChoice& link);

}  // namespace zp::link
