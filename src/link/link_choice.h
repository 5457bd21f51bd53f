// Which handheld link a session uses, from ZAMOPOCKET_LINK and the
// machine's network interfaces.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/control_link.h"
#include "platform/net_interfaces.h"

namespace zp::link {

/// The address every handheld gives itself on its link.
inline constexpr std::uint32_t kHandheldAddress = 0xA9FE0201u;  // 169.254.2.1
/// The hardware address every Windows Mobile handheld's adapter shows.
inline constexpr char kHandheldMac[] = "80:00:60:0f:e8:00";

struct LinkChoice {
  std::optional<LinkConfig> config;  ///< the link to run
  std::string problem;               ///< why there is none, when that is worth a log line
};

/// True for an interface a docked handheld brought up: the RNDIS driver on a
/// USB interface of class ef/01/01, or the handhelds' hardware address.
bool IsHandheldInterface(const NetInterface& net);

/// `link`: "LOCAL,DEVICE" (two IPv4 addresses), an interface name, or null
/// (the one handheld interface there is). `timeouts`: the override, or null.
/// No config and no problem: nothing is docked.
LinkChoice ChooseLink(const char* link, const char* timeouts,
                      const std::vector<NetInterface>& interfaces);

}  // namespace zp::link
