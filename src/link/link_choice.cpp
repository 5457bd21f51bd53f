// Choosing the handheld's link.
#include "link/link_choice.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "link/protocol.h"
#include "platform/sockets.h"

namespace zp::link {
namespace {

LinkChoice Problem(std::string text) {
  return LinkChoice{std::nullopt, std::move(text)};
}

// The link on an interface: its own IPv4 address, every socket bound to it,
// the trigger to the handheld's usual address and to the broadcast address.
LinkChoice OnInterface(const NetInterface& net, const LinkTimeouts& timeouts,
                       const std::vector<NetInterface>& interfaces) {
  if (!net.ipv4) return Problem("The handheld's interface " + net.name + " has no IPv4 address");
  LinkConfig config;
  // Until the handheld is known, its connection must come from the link's
  // own network and from no address of this machine: where a listener
  // cannot be tied to the adapter (Windows), a local program could
  // otherwise pass for the handheld.
  config.peer_network = *net.ipv4 & 0xFFFFFF00u;
  for (const NetInterface& each : interfaces) {
    if (each.ipv4) config.own_addresses.push_back(*each.ipv4);
  }
  config.listen = NetAddress{*net.ipv4, kDesktopPort};
  config.trigger_to.push_back(kHandheldAddress);
  if (net.broadcast && *net.broadcast != kHandheldAddress)
    config.trigger_to.push_back(*net.broadcast);
  config.net_interface = net.socket_interface.empty() ? net.name : net.socket_interface;
  config.timeouts = timeouts;
  return LinkChoice{config, {}};
}

}  // namespace

bool IsHandheldInterface(const NetInterface& net) {
  return (net.driver == "rndis_host" && net.usb_class == "ef/01/01") || net.mac == kHandheldMac;
}

bool IsHandheldAdapter(const NetInterface& net) {
  return net.mac == kHandheldMac && net.ipv4 && (*net.ipv4 & 0xFFFFFF00u) == kHandheldNetwork;
}

LinkChoice ChooseLink(const char* link, const char* timeouts_text,
                      const std::vector<NetInterface>& interfaces, HandheldRule is_handheld) {
  LinkTimeouts timeouts;
  if (timeouts_text != nullptr) {
    const auto read = ReadLinkTimeouts(timeouts_text);
    if (!read)
      return Problem(std::string("ZAMOPOCKET_LINK_TIMEOUTS cannot be read: ") + timeouts_text);
    timeouts = *read;
  }
  if (link == nullptr) {
    const NetInterface* chosen = nullptr;
    for (const NetInterface& net : interfaces) {
      if (!is_handheld(net)) continue;
      if (chosen != nullptr) {
        return Problem("Several handhelds are docked (" + chosen->name + ", " + net.name +
                       "): choose one with ZAMOPOCKET_LINK");
      }
      chosen = &net;
    }
    if (chosen == nullptr) return {};
    return OnInterface(*chosen, timeouts, interfaces);
  }
  const std::string text = link;
  if (const std::size_t comma = text.find(','); comma != std::string::npos) {
    const auto local = ParseIpv4(text.substr(0, comma));
    const auto device = ParseIpv4(text.substr(comma + 1));
    if (!local || !device) return Problem("ZAMOPOCKET_LINK cannot be read: " + text);
    LinkConfig config;
    config.listen = NetAddress{*local, kDesktopPort};
    config.trigger_to.push_back(*device);
    config.device = *device;
    config.timeouts = timeouts;
    return LinkChoice{config, {}};
  }
  for (const NetInterface& net : interfaces) {
    if (net.name == text || (!net.socket_interface.empty() && net.socket_interface == text)) {
      return OnInterface(net, timeouts, interfaces);
    }
  }
  return Problem("ZAMOPOCKET_LINK names no network interface: " + text);
}

DevicePath ChooseDevicePath(std::uint32_t dll_device_id, const LinkChoice& link) {
  if (dll_device_id != 0) return DevicePath::Dlls;
  if (link.config || !link.problem.empty()) return DevicePath::Link;
  return DevicePath::Dlls;
}

bool IsDockRun(const char* command_line) {
  if (command_line == nullptr) return false;
  std::string_view text = command_line;
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
  const std::string_view dock = kDockArgument;
  return text.size() == dock.size() &&
         std::equal(text.begin(), text.end(), dock.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

bool DockRunGoesOn(bool dlls_loaded, const LinkChoice& link) {
  return !dlls_loaded && (link.config || !link.problem.empty());
}

}  // namespace zp::link
