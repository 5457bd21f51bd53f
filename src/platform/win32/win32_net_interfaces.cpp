// The network adapters of a Windows desktop: GetAdaptersAddresses gives the
// friendly name, the hardware address, the first IPv4 address with its
// prefix (hence its broadcast address) and the interface index.
#include "platform/win32/windows_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/net_interfaces.h"
#include "platform/platform.h"

namespace zp {
namespace {

std::string MacText(const IP_ADAPTER_ADDRESSES& adapter) {
  std::string mac;
  for (ULONG i = 0; i < adapter.PhysicalAddressLength && i < MAX_ADAPTER_ADDRESS_LENGTH; ++i) {
    char part[4];
    std::snprintf(part, sizeof part, i == 0 ? "%02x" : ":%02x", adapter.PhysicalAddress[i]);
    mac += part;
  }
  return mac;
}

std::string FriendlyName(const IP_ADAPTER_ADDRESSES& adapter) {
  if (adapter.FriendlyName == nullptr) return {};
  std::u16string name;
  for (const wchar_t* at = adapter.FriendlyName; *at != L'\0' && name.size() < 256; ++at) {
    name.push_back(static_cast<char16_t>(*at));
  }
  return Narrow(name);
}

}  // namespace

std::vector<NetInterface> ListNetInterfaces() {
  std::vector<NetInterface> found;
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  // The size it asks for may grow between two calls (an adapter came):
  // asked a few times, then given up.
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    ULONG size = static_cast<ULONG>(buffer.size());
    result = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) buffer.resize(size);
  }
  if (result != NO_ERROR) {
    ::SetLastError(result);
    return found;
  }
  for (const auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter != nullptr; adapter = adapter->Next) {
    NetInterface net;
    net.name = FriendlyName(*adapter);
    net.mac = MacText(*adapter);
    net.socket_interface = std::to_string(adapter->IfIndex);
    for (const IP_ADAPTER_UNICAST_ADDRESS* address = adapter->FirstUnicastAddress;
         address != nullptr; address = address->Next) {
      const SOCKADDR* raw = address->Address.lpSockaddr;
      if (raw == nullptr || raw->sa_family != AF_INET) continue;
      const std::uint32_t ip = ::ntohl(reinterpret_cast<const sockaddr_in*>(raw)->sin_addr.s_addr);
      net.ipv4 = ip;
      const unsigned prefix = address->OnLinkPrefixLength;
      if (prefix <= 30) {
        const std::uint32_t host_bits = prefix == 0 ? 0xFFFFFFFFu : (1u << (32 - prefix)) - 1;
        net.broadcast = ip | host_bits;
      }
      break;
    }
    found.push_back(std::move(net));
  }
  return found;
}

}  // namespace zp
