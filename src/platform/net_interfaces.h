// The desktop's network interfaces, as far as the handheld's link needs
// them: which driver and USB interface class each has, its hardware address
// and its IPv4 address. On Windows `name` is the adapter's friendly name
// ("Ethernet 2"), and the driver and USB class are empty.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zp {

struct NetInterface {
  std::string name;
  std::string driver;     ///< the kernel driver ("rndis_host"); empty when unknown
  std::string usb_class;  ///< "ef/01/01": class, subclass, protocol of its USB interface
  std::string mac;        ///< "80:00:60:0f:e8:00", lower case
  std::optional<std::uint32_t> ipv4;       ///< its first IPv4 address
  std::optional<std::uint32_t> broadcast;  ///< that address's broadcast address
  /// What the sockets take as their `interface` (sockets.h) to be tied to
  /// this one: its name on Linux, its interface index in decimal on
  /// Windows. Empty: the name.
  std::string socket_interface;
};

/// Every network interface of the machine.
std::vector<NetInterface> ListNetInterfaces();

}  // namespace zp
