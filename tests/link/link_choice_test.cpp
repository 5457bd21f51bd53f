// Which link a session takes, and the waits it takes it with.
#include "link/link_choice.h"

#include <gtest/gtest.h>

#include "link/link_timeouts.h"

namespace zp::link {
namespace {

NetInterface Handheld(const std::string& name) {
  NetInterface net;
  net.name = name;
  net.driver = "rndis_host";
  net.usb_class = "ef/01/01";
  net.mac = "80:00:60:0f:e8:00";
  net.ipv4 = 0xA9FE0202u;
  net.broadcast = 0xA9FE02FFu;
  return net;
}

TEST(LinkChoice, TheOneDockedHandheldsInterfaceIsTakenAndNothingElse) {
  NetInterface tethered_phone = Handheld("usb0");  // RNDIS too, but another class and MAC
  tethered_phone.usb_class = "e0/01/03";
  tethered_phone.mac = "02:11:22:33:44:55";
  NetInterface ethernet{"eth0", "e1000", "", "52:54:00:12:34:56", 0x0A000002u, 0x0A0000FFu, ""};
  EXPECT_FALSE(IsHandheldInterface(tethered_phone));
  EXPECT_FALSE(IsHandheldInterface(ethernet));

  // Nothing docked: no link and nothing to say, as with no device.
  LinkChoice none = ChooseLink(nullptr, nullptr, {ethernet, tethered_phone});
  EXPECT_FALSE(none.config);
  EXPECT_EQ(none.problem, "");

  NetInterface by_mac_only = Handheld("enx800060");
  by_mac_only.driver = "cdc_ether";
  by_mac_only.usb_class = "";
  EXPECT_TRUE(IsHandheldInterface(by_mac_only));

  LinkChoice one = ChooseLink(nullptr, nullptr, {ethernet, Handheld("enp0s20u1")});
  ASSERT_TRUE(one.config);
  EXPECT_EQ(one.config->net_interface, "enp0s20u1");
  EXPECT_EQ(one.config->listen, (NetAddress{0xA9FE0202u, 990}));
  EXPECT_FALSE(one.config->device);  // the first peer on that interface
  EXPECT_EQ(one.config->trigger_to, (std::vector<std::uint32_t>{0xA9FE0201u, 0xA9FE02FFu}));

  LinkChoice two = ChooseLink(nullptr, nullptr, {Handheld("a"), Handheld("b")});
  EXPECT_FALSE(two.config);
  EXPECT_EQ(two.problem, "Several handhelds are docked (a, b): choose one with ZAMOPOCKET_LINK");

  NetInterface no_address = Handheld("enx1");
  no_address.ipv4.reset();
  EXPECT_EQ(ChooseLink(nullptr, nullptr, {no_address}).problem,
            "The handheld's interface enx1 has no IPv4 address");
}

TEST(LinkChoice, ZamopocketLinkNamesAnAddressPairOrAnInterface) {
  LinkChoice pair = ChooseLink("127.0.0.1,127.0.0.2", nullptr, {});
  ASSERT_TRUE(pair.config);
  EXPECT_EQ(pair.config->listen, (NetAddress{0x7F000001u, 990}));
  EXPECT_EQ(pair.config->device, 0x7F000002u);
  EXPECT_EQ(pair.config->net_interface, "");

  LinkChoice named = ChooseLink("cradle2", nullptr, {Handheld("cradle1"), Handheld("cradle2")});
  ASSERT_TRUE(named.config);
  EXPECT_EQ(named.config->net_interface, "cradle2");

  EXPECT_EQ(ChooseLink("cradle3", nullptr, {Handheld("cradle1")}).problem,
            "ZAMOPOCKET_LINK names no network interface: cradle3");
  EXPECT_EQ(ChooseLink("127.0.0.1,localhost", nullptr, {}).problem,
            "ZAMOPOCKET_LINK cannot be read: 127.0.0.1,localhost");
  EXPECT_EQ(ChooseLink("127.0.0.1,127.0.0.2", "reply=0", {}).problem,
            "ZAMOPOCKET_LINK_TIMEOUTS cannot be read: reply=0");
}

// Windows: the adapter's friendly name is localised and shared with phone
// tethering, and there is no driver or USB class: the hardware address and
// an address in 169.254.2.0/24 choose it; the sockets take its index.
NetInterface Adapter(const std::string& name, const std::string& index) {
  NetInterface net;
  net.name = name;
  net.mac = "80:00:60:0f:e8:00";
  net.ipv4 = 0xA9FE0202u;
  net.broadcast = 0xA9FE02FFu;
  net.socket_interface = index;
  return net;
}

TEST(LinkChoice, OnWindowsTheHandheldsAdapterHasItsAddressAndItsSocketsTakeItsIndex) {
  const NetInterface handheld = Adapter("Remote NDIS based Internet Sharing Device", "12");
  NetInterface self_configured = Adapter("Ethernet", "4");  // same MAC, another link-local net
  self_configured.ipv4 = 0xA9FE1002u;
  NetInterface phone = Adapter("Remote NDIS based Internet Sharing Device #2", "7");
  phone.mac = "02:11:22:33:44:55";
  NetInterface no_address = Adapter("Ethernet 3", "9");
  no_address.ipv4.reset();
  EXPECT_TRUE(IsHandheldAdapter(handheld));
  for (const NetInterface& other : {self_configured, phone, no_address}) {
    EXPECT_FALSE(IsHandheldAdapter(other)) << other.name;
  }

  LinkChoice found = ChooseLink(nullptr, nullptr, {phone, self_configured, handheld, no_address},
                                IsHandheldAdapter);
  ASSERT_TRUE(found.config);
  EXPECT_EQ(found.config->net_interface, "12");
  EXPECT_EQ(found.config->listen, (NetAddress{0xA9FE0202u, 990}));
  EXPECT_EQ(found.config->trigger_to, (std::vector<std::uint32_t>{0xA9FE0201u, 0xA9FE02FFu}));
  // A listener that cannot be tied to the adapter takes only a peer on the
  // link's network that is no address of this machine: never a local program.
  const std::pair<std::uint32_t, bool> peers[] = {{0xA9FE0201u, true},
                                                  {0xA9FE0202u, false},   // the adapter's own
                                                  {0x7F000001u, false},   // loopback
                                                  {0x7F0A0B0Cu, false},   // loopback too
                                                  {0xA9FE1002u, false},   // another adapter's
                                                  {0xA9FE1005u, false}};  // off the network
  for (const auto& [peer, taken] : peers) {
    EXPECT_EQ(PeerMayBeHandheld(*found.config, peer), taken) << FormatIpv4(peer);
  }

  LinkChoice none = ChooseLink(nullptr, nullptr, {phone, self_configured}, IsHandheldAdapter);
  EXPECT_FALSE(none.config);
  EXPECT_EQ(none.problem, "");

  // ZAMOPOCKET_LINK names an adapter by its name or its index.
  for (const char* named : {"7", "Remote NDIS based Internet Sharing Device #2"}) {
    LinkChoice chosen = ChooseLink(named, nullptr, {handheld, phone}, IsHandheldAdapter);
    ASSERT_TRUE(chosen.config) << named;
    EXPECT_EQ(chosen.config->net_interface, "7") << named;
  }
}

TEST(LinkChoice, OnWindowsTheDllsGoFirstWhenTheySeeADevice) {
  LinkChoice linked;
  linked.config = LinkConfig{};
  LinkChoice problem{std::nullopt, "ZAMOPOCKET_LINK names no network interface: x"};
  const LinkChoice nothing;
  // A device the DLLs see: exactly as without the link.
  EXPECT_EQ(ChooseDevicePath(0x42, linked), DevicePath::Dlls);
  EXPECT_EQ(ChooseDevicePath(0x42, problem), DevicePath::Dlls);
  // None: the link, or its problem told.
  EXPECT_EQ(ChooseDevicePath(0, linked), DevicePath::Link);
  EXPECT_EQ(ChooseDevicePath(0, problem), DevicePath::Link);
  // Neither: the DLLs say "Unknown device", as today.
  EXPECT_EQ(ChooseDevicePath(0, nothing), DevicePath::Dlls);
}

TEST(LinkChoice, TheTasksDockArgumentIsThatWordAloneInAnyCase) {
  for (const char* dock : {"/dock", "/DOCK", "  /Dock \t"}) EXPECT_TRUE(IsDockRun(dock)) << dock;
  // Anything else is ignored, as every command line was before.
  for (const char* other :
       {"", "  ", "/dock /dock", "/docked", "dock", "-dock", "/d", "\"/dock\""}) {
    EXPECT_FALSE(IsDockRun(other)) << other;
  }
  EXPECT_FALSE(IsDockRun(nullptr));
}

TEST(LinkChoice, ADockRunGoesOnOnlyOverAHandheldsLinkWhereNoDllsAre) {
  // Another network connected (Wi-Fi, a phone sharing its connection):
  // nothing to run and nothing to say.
  NetInterface wifi = Adapter("Wi-Fi", "3");
  wifi.mac = "3c:a9:f4:10:20:30";
  wifi.ipv4 = 0xC0A80114u;  // 192.168.1.20
  NetInterface phone = Adapter("Remote NDIS based Internet Sharing Device", "7");
  phone.mac = "02:11:22:33:44:55";
  const LinkChoice other = ChooseLink(nullptr, nullptr, {wifi, phone}, IsHandheldAdapter);
  ASSERT_FALSE(other.config);
  ASSERT_EQ(other.problem, "");
  EXPECT_FALSE(DockRunGoesOn(false, other));
  // The handheld's adapter, or a problem with it worth a log line.
  const LinkChoice docked =
      ChooseLink(nullptr, nullptr, {wifi, Adapter("Ethernet 2", "12")}, IsHandheldAdapter);
  ASSERT_TRUE(docked.config);
  EXPECT_TRUE(DockRunGoesOn(false, docked));
  const LinkChoice two =
      ChooseLink(nullptr, nullptr, {Adapter("a", "5"), Adapter("b", "6")}, IsHandheldAdapter);
  ASSERT_FALSE(two.problem.empty());
  EXPECT_TRUE(DockRunGoesOn(false, two));
  // Where ActiveSync's or WMDC's DLLs load, AutoStartOnConnect starts the
  // session: never a second one here, whatever the adapters.
  for (const LinkChoice& choice : {other, docked, two}) EXPECT_FALSE(DockRunGoesOn(true, choice));
}

TEST(LinkTimeouts, TheDefaultsFitARealHandheldAndTheOverrideChangesOnlyWhatItNames) {
  const LinkTimeouts defaults;
  EXPECT_EQ(defaults.connect_ms, 90'000);
  EXPECT_EQ(defaults.retrigger_ms, 5'000);
  EXPECT_EQ(defaults.handshake_ms, 30'000);
  EXPECT_EQ(defaults.unlock_ms, 300'000);
  EXPECT_EQ(defaults.session_ms, 30'000);
  EXPECT_EQ(defaults.reply_ms, 120'000);
  EXPECT_EQ(defaults.ping_ms, 30'000);

  const auto shorter = ReadLinkTimeouts("connect=2000,reply=500");
  ASSERT_TRUE(shorter);
  EXPECT_EQ(shorter->connect_ms, 2000);
  EXPECT_EQ(shorter->reply_ms, 500);
  EXPECT_EQ(shorter->unlock_ms, defaults.unlock_ms);
  for (const char* bad : {"connect", "connect=", "connect=-1", "connect=1x", "nap=5",
                          "reply=86400001", "connect=1,,reply=2"}) {
    EXPECT_FALSE(ReadLinkTimeouts(bad)) << bad;
  }
}

}  // namespace
}  // namespace zp::link
