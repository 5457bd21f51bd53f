// Tests of the Windows sockets of the handheld's link (Winsock), on loopback:
// deadlines, a peer that closes, stops reading or trickles, a short read, a
// port already held, datagrams, and the adapters GetAdaptersAddresses lists.
#include "platform/win32/windows_api.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/net_interfaces.h"
#include "platform/sockets.h"

namespace zp::test {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;  // 127.0.0.1

class Win32Sockets : public ::testing::Test {
 protected:
  // Winsock, as the program's entry point starts it.
  static void SetUpTestSuite() {
    WSADATA data{};
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  static void TearDownTestSuite() { ::WSACleanup(); }

  // The port the system gave a socket bound to port 0.
  static std::uint16_t PortOf(const Socket& socket) {
    sockaddr_in address{};
    int size = sizeof address;
    if (::getsockname(static_cast<SOCKET>(socket.handle()), reinterpret_cast<sockaddr*>(&address),
                      &size) != 0) {
      return 0;
    }
    return ::ntohs(address.sin_port);
  }

  // A listener on loopback, a connection to it, and the accepted end.
  void Connect() {
    ASSERT_EQ(ListenTcp(NetAddress{kLoopback, 0}, "", listener), NetResult::Done)
        << SocketFailureText();
    const NetAddress to{kLoopback, PortOf(listener)};
    ASSERT_EQ(ConnectTcp(NetAddress{kLoopback, 0}, to, "", Deadline::In(5000), client),
              NetResult::Done)
        << SocketFailureText();
    NetAddress peer;
    ASSERT_EQ(AcceptTcp(listener, Deadline::In(5000), server, peer), NetResult::Done)
        << SocketFailureText();
    EXPECT_EQ(peer.ip, kLoopback);
    EXPECT_EQ(peer.port, PortOf(client));
  }

  Socket listener;
  Socket client;
  Socket server;
};

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

NetResult Send(const Socket& socket, const std::string& text) {
  return SendAll(socket, Bytes(text), Deadline::In(5000));
}

TEST_F(Win32Sockets, BytesGoBothWaysAndWhatHasArrivedIsTakenAtOnce) {
  Connect();
  ASSERT_EQ(Send(client, "hello"), NetResult::Done);
  std::vector<std::uint8_t> got(5);
  ASSERT_EQ(ReceiveAll(server, got, Deadline::In(5000)), NetResult::Done);
  EXPECT_EQ(got, Bytes("hello"));

  ASSERT_EQ(Send(server, "abc"), NetResult::Done);
  std::vector<std::uint8_t> some(64);
  std::size_t count = 0;
  const std::int64_t start = MonotonicMs();
  ASSERT_EQ(ReceiveSome(client, some, Deadline::In(5000), count), NetResult::Done);
  EXPECT_EQ(count, 3u);  // three asked 64: what came, without waiting for more
  EXPECT_LT(MonotonicMs() - start, 2000);
  EXPECT_EQ(std::string(some.begin(), some.begin() + 3), "abc");
}

TEST_F(Win32Sockets, AnAcceptWithNobodyComingEndsWhenItsTimeRunsOut) {
  ASSERT_EQ(ListenTcp(NetAddress{kLoopback, 0}, "", listener), NetResult::Done)
      << SocketFailureText();
  Socket accepted;
  NetAddress peer;
  const std::int64_t start = MonotonicMs();
  EXPECT_EQ(AcceptTcp(listener, Deadline::In(300), accepted, peer), NetResult::TimedOut);
  const std::int64_t took = MonotonicMs() - start;
  EXPECT_GE(took, 250);
  EXPECT_LT(took, 5000);
  EXPECT_FALSE(accepted);
}

TEST_F(Win32Sockets, AShortReadTimesOutAndKeepsWaitingBounded) {
  Connect();
  ASSERT_EQ(Send(client, "ab"), NetResult::Done);
  std::vector<std::uint8_t> word(4);
  const std::int64_t start = MonotonicMs();
  EXPECT_EQ(ReceiveAll(server, word, Deadline::In(300)), NetResult::TimedOut);
  const std::int64_t took = MonotonicMs() - start;
  EXPECT_GE(took, 250);
  EXPECT_LT(took, 5000);
  // The rest arrives later: read on from where the bytes stand.
  ASSERT_EQ(Send(client, "cd"), NetResult::Done);
  std::vector<std::uint8_t> rest(2);
  ASSERT_EQ(ReceiveAll(server, rest, Deadline::In(5000)), NetResult::Done);
  EXPECT_EQ(rest, Bytes("cd"));
}

TEST_F(Win32Sockets, APeerThatTricklesBytesCannotHoldAReceivePastItsDeadline) {
  Connect();
  // One byte every 0.8 of the deadline: each comes in time, all 16 never do.
  constexpr int kDeadlineMs = 300;
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    for (int i = 0; i < 16 && !stop; ++i) {
      if (Send(client, "t") != NetResult::Done) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(kDeadlineMs * 8 / 10));
    }
  });
  std::vector<std::uint8_t> block(16);
  const std::int64_t start = MonotonicMs();
  const NetResult received = ReceiveAll(server, block, Deadline::In(kDeadlineMs));
  const std::int64_t took = MonotonicMs() - start;
  stop = true;
  trickle.join();
  EXPECT_EQ(received, NetResult::TimedOut);
  EXPECT_GE(took, kDeadlineMs - 50);
  EXPECT_LT(took, 3 * kDeadlineMs);
}

TEST_F(Win32Sockets, APeerThatClosesFailsTheReceiveAndTheSendWithoutASignal) {
  Connect();
  ASSERT_EQ(Send(client, "x"), NetResult::Done);
  client.Close();
  std::vector<std::uint8_t> two(2);
  // One byte, then the close.
  EXPECT_EQ(ReceiveAll(server, two, Deadline::In(5000)), NetResult::Failed);
  // Sends to a closed peer fail within a few tries (the first may still be taken).
  const std::vector<std::uint8_t> block(64 * 1024, 'z');
  bool failed = false;
  for (int i = 0; i < 50 && !failed; ++i) {
    failed = SendAll(server, block, Deadline::In(2000)) == NetResult::Failed;
    if (!failed) ::Sleep(20);
  }
  EXPECT_TRUE(failed);
  EXPECT_NE(SocketFailureText(), "no error");
}

TEST_F(Win32Sockets, ASendToAPeerThatStopsReadingGivesUpWhenItsTimeRunsOut) {
  Connect();
  const std::vector<std::uint8_t> lots(64 * 1024 * 1024, 'q');
  const std::int64_t start = MonotonicMs();
  EXPECT_EQ(SendAll(client, lots, Deadline::In(300)), NetResult::TimedOut);
  EXPECT_LT(MonotonicMs() - start, 3000);
}

TEST_F(Win32Sockets, AConnectionNobodyTakesFailsBounded) {
  // A port just given up: nobody listens there.
  std::uint16_t port = 0;
  {
    Socket gone;
    ASSERT_EQ(ListenTcp(NetAddress{kLoopback, 0}, "", gone), NetResult::Done);
    port = PortOf(gone);
  }
  Socket connected;
  const std::int64_t start = MonotonicMs();
  EXPECT_NE(ConnectTcp(NetAddress{kLoopback, 0}, NetAddress{kLoopback, port}, "",
                       Deadline::In(3000), connected),
            NetResult::Done);
  EXPECT_LT(MonotonicMs() - start, 5000);
  EXPECT_FALSE(connected);
}

TEST_F(Win32Sockets, APortAlreadyHeldIsRefusedAndTheLogLineSaysWhoMayHoldIt) {
  ASSERT_EQ(ListenTcp(NetAddress{kLoopback, 0}, "", listener), NetResult::Done);
  Socket second;
  EXPECT_EQ(ListenTcp(NetAddress{kLoopback, PortOf(listener)}, "", second), NetResult::Failed);
  EXPECT_FALSE(second);
  const std::string text = SocketFailureText();
  EXPECT_NE(text.find("(10048)"), std::string::npos) << text;  // WSAEADDRINUSE
  EXPECT_NE(text.find("WMDC"), std::string::npos) << text;
}

TEST_F(Win32Sockets, AnAdapterIndexThatIsNoNumberIsRefused) {
  Socket refused;
  EXPECT_EQ(ListenTcp(NetAddress{kLoopback, 0}, "Ethernet 2", refused), NetResult::Failed);
  EXPECT_EQ(ListenTcp(NetAddress{kLoopback, 0}, "0", refused), NetResult::Failed);
  EXPECT_FALSE(refused);
}

TEST_F(Win32Sockets, WaitReadableNamesTheSocketWithSomethingToReadOrRunsOut) {
  Connect();
  const Socket* both[] = {&server, &client};
  std::size_t ready = 7;
  const std::int64_t start = MonotonicMs();
  EXPECT_EQ(WaitReadable(both, Deadline::In(300), ready), NetResult::TimedOut);
  EXPECT_GE(MonotonicMs() - start, 250);
  ASSERT_EQ(Send(server, "!"), NetResult::Done);
  ASSERT_EQ(WaitReadable(both, Deadline::In(5000), ready), NetResult::Done);
  EXPECT_EQ(ready, 1u);
  const Socket none;
  const Socket* empty[] = {&none, nullptr};
  EXPECT_EQ(WaitReadable(empty, Deadline::In(50), ready), NetResult::TimedOut);
}

TEST_F(Win32Sockets, ADatagramArrivesWithItsSender) {
  Socket receiver;
  ASSERT_EQ(BindUdp(NetAddress{kLoopback, 0}, "", receiver), NetResult::Done)
      << SocketFailureText();
  const std::uint8_t trigger[] = {0x7F};
  ASSERT_EQ(
      SendDatagram(NetAddress{kLoopback, 0}, NetAddress{kLoopback, PortOf(receiver)}, "", trigger),
      NetResult::Done);
  std::uint8_t buffer[16];
  std::size_t got = 0;
  NetAddress from;
  ASSERT_EQ(ReceiveDatagram(receiver, buffer, Deadline::In(5000), got, from), NetResult::Done);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(buffer[0], 0x7F);
  EXPECT_EQ(from.ip, kLoopback);
  EXPECT_EQ(ReceiveDatagram(receiver, buffer, Deadline::In(100), got, from), NetResult::TimedOut);
}

TEST(Win32Addresses, DottedQuadsAreReadStrictly) {
  EXPECT_EQ(ParseIpv4("169.254.2.1"), 0xA9FE0201u);
  EXPECT_EQ(ParseIpv4("0.0.0.0"), 0u);
  for (const char* bad : {"", "1.2.3", "1.2.3.4.", "256.1.1.1", "1.2.3.4x", "1..2.3", "a.b.c.d",
                          "1.2.3.1000", " 1.2.3.4"}) {
    EXPECT_FALSE(ParseIpv4(bad)) << bad;
  }
  EXPECT_EQ(FormatIpv4(0xA9FE0202u), "169.254.2.2");
}

TEST(Win32Adapters, EveryAdapterHasAnIndexAndItsBroadcastFitsItsAddress) {
  WSADATA data{};
  ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
  const std::vector<NetInterface> adapters = ListNetInterfaces();
  ::WSACleanup();
  ASSERT_FALSE(adapters.empty());
  for (const NetInterface& net : adapters) {
    EXPECT_FALSE(net.socket_interface.empty()) << net.name;
    EXPECT_EQ(net.socket_interface.find_first_not_of("0123456789"), std::string::npos)
        << net.socket_interface;
    EXPECT_TRUE(net.driver.empty());
    if (net.ipv4 && net.broadcast) {
      EXPECT_EQ(*net.broadcast & *net.ipv4, *net.ipv4) << net.name;
    }
    if (!net.mac.empty()) {
      EXPECT_EQ(net.mac.size(), 17u) << net.mac;
    }
  }
}

}  // namespace
}  // namespace zp::test
