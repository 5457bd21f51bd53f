// The network interfaces of a Linux desktop: sysfs for the driver, the USB
// class and the hardware address, getifaddrs for the IPv4 addresses.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <filesystem>
#include <fstream>

#include "platform/net_interfaces.h"

namespace zp {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::vector<NetInterface> ListNetInterfaces() {
  std::vector<NetInterface> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/sys/class/net", ec)) {
    NetInterface net;
    net.name = entry.path().filename().string();
    const fs::path device = entry.path() / "device";
    net.driver = fs::read_symlink(device / "driver", ec).filename().string();
    if (ec) net.driver.clear();
    const std::string usb_class = FirstLine(device / "bInterfaceClass");
    if (!usb_class.empty()) {
      net.usb_class = usb_class + "/" + FirstLine(device / "bInterfaceSubClass") + "/" +
                      FirstLine(device / "bInterfaceProtocol");
    }
    net.mac = FirstLine(entry.path() / "address");
    found.push_back(std::move(net));
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* at = list; at != nullptr; at = at->ifa_next) {
    if (at->ifa_addr == nullptr || at->ifa_addr->sa_family != AF_INET) continue;
    for (NetInterface& net : found) {
      if (net.name != at->ifa_name || net.ipv4) continue;
      net.ipv4 = ntohl(reinterpret_cast<const sockaddr_in*>(at->ifa_addr)->sin_addr.s_addr);
      if ((at->ifa_flags & IFF_BROADCAST) && at->ifa_broadaddr != nullptr) {
        net.broadcast =
            ntohl(reinterpret_cast<const sockaddr_in*>(at->ifa_broadaddr)->sin_addr.s_addr);
      }
    }
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace zp
