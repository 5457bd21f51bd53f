// zp-handheld as an older handheld (--legacy): its control connection, the
// older remote API's sessions (bytes as a desktop sends and reads them), its
// hostile modes, and the serial line's text exchange on a pseudo-terminal.
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "device/remote_device.h"
#include "handheld/legacy_desktop_side.h"
#include "link/legacy_info.h"
#include "link/legacy_protocol.h"
#include "link/rapi1_wire.h"
#include "platform/platform.h"

namespace zp::test {
namespace {

using namespace zp::link;
// --- The control connection ------------------------------------------------

using LegacyControlTest = LegacyLinkTest;

TEST_F(LegacyControlTest, UnlockedSaysWhoTheWorldIsEchoesPingsAndClosesOnAnythingElse) {
  SetIdent([](RegText& reg) { reg.Dword("OsMinor", 21); });
  const auto opening = Dock();
  ASSERT_TRUE(opening);
  EXPECT_EQ(opening->first, kLegacyNothing);
  EXPECT_EQ(opening->header, opening->packet.size());
  std::string problem;
  const auto info = ParseLegacyInfo(opening->packet, problem);
  ASSERT_TRUE(info) << problem;
  EXPECT_EQ(info->name, u"Field_7");
  EXPECT_EQ(info->partner_id, 0x42u);
  EXPECT_EQ(info->processor_type, 0xA11u);
  EXPECT_EQ(info->os_major, 4u);
  EXPECT_EQ(info->os_minor, 21u);
  EXPECT_EQ(info->platform, u"PocketPC");
  EXPECT_EQ(info->model, u"Simulated");

  ASSERT_TRUE(desktop.Send({kLegacyPing}));
  EXPECT_EQ(desktop.ReadWord(), kLegacyPing);
  ASSERT_TRUE(desktop.Send({77}));
  EXPECT_TRUE(ClosedWithNothing(desktop.control())) << Output();
  EXPECT_EQ(handheld->Wait(kTestWaitMs), 0) << Output();
}

TEST_F(LegacyControlTest, LockedChallengesTakesThePasswordAndAsksItOfEverySession) {
  constexpr std::uint32_t kChallenge = 0x00EDF3FD;  // key 0xFD
  SetIdent([](RegText& reg) { reg.Dword("LockKey", kChallenge).String("Password", "1234"); });
  const auto opening = Dock();
  ASSERT_TRUE(opening);
  EXPECT_EQ(opening->first, kChallenge);
  std::string problem;
  EXPECT_TRUE(ParseLegacyInfo(opening->packet, problem)) << problem;

  ASSERT_TRUE(desktop.SendBytes(LegacyPassword(u"4321", kChallenge)));
  EXPECT_EQ(desktop.ReadU16(), 0);
  EXPECT_EQ(world.dir.Read("device/password.log"), "refused\n");
  ASSERT_TRUE(desktop.SendBytes(Hex("0A00 CCFD CFFD CEFD C9FD FDFD")));  // "1234", key 0xFD
  EXPECT_EQ(desktop.ReadU16(), 1);
  EXPECT_EQ(world.dir.Read("device/password.log"), "refused\naccepted\n");
  ASSERT_TRUE(desktop.Send({kLegacyPing}));
  EXPECT_EQ(desktop.ReadWord(), kLegacyPing);

  std::uint8_t answer[1] = {0xEE};
  const Socket refused = desktop.Connect();
  ASSERT_TRUE(SendWithin(refused, LegacyPassword(u"12345", kChallenge)));
  ASSERT_EQ(ReceiveWithin(refused, answer, kTestWaitMs), NetResult::Done);
  EXPECT_EQ(answer[0], 0);
  EXPECT_TRUE(ClosedWithNothing(refused));

  const Socket session = desktop.Connect();
  ASSERT_TRUE(SendWithin(session, LegacyPassword(u"1234", kChallenge)));
  ASSERT_EQ(ReceiveWithin(session, answer, kTestWaitMs), NetResult::Done);
  EXPECT_EQ(answer[0], 1);
  WireWriter attributes = Request(kLegGetFileAttributes);
  rapi1::PlainString(attributes, u"\\");
  const Bytes body = Must(session, std::move(attributes));
  WireReader reply(body);
  EXPECT_EQ(reply.U32(), kReplyPlain);
  EXPECT_EQ(reply.U32(), 0u);
  EXPECT_EQ(reply.U32(), kAttributeDirectory);

  desktop.control().Close();
  EXPECT_EQ(handheld->Wait(kTestWaitMs), 0) << Output();
}

TEST_F(LegacyControlTest, ThreeRefusedPasswordsCloseTheControlConnection) {
  const auto opening = Dock({"--lock", "0x1234ABCD", "--password", "right"});
  ASSERT_TRUE(opening);
  EXPECT_EQ(opening->first, 0x1234ABCDu);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(desktop.SendBytes(LegacyPassword(u"wrong", 0x1234ABCD)));
    EXPECT_EQ(desktop.ReadU16(), 0);
  }
  EXPECT_TRUE(ClosedWithNothing(desktop.control())) << Output();
  EXPECT_EQ(handheld->Wait(kTestWaitMs), 1) << Output();
  EXPECT_EQ(world.dir.Read("device/password.log"), "refused\nrefused\nrefused\n");
}

TEST_F(LegacyControlTest, RefusesALockKeyThatCannotBeAChallengeAndListsItsOptions) {
  Start({"--lock", "0x1FF"});
  EXPECT_EQ(handheld->Wait(kTestWaitMs), 2);
  EXPECT_NE(Output().find("challenge"), std::string::npos) << Output();

  HandheldProcess help({ZP_HANDHELD, "--help"}, (world.dir.path() / "help.out").string());
  ASSERT_EQ(help.Wait(kTestWaitMs), 0);
  const std::string text = help.Output();
  for (const char* option :
       {"--legacy", "--legacy-port", "--chat-tty", "--chat-nul", "--chat-repeat-ms", "--chat-then",
        "--chat-ppp-first", "legacy-offset-out", "legacy-name-no-nul", "legacy-short-header",
        "legacy-bad-flag"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
}

// --- The older remote API --------------------------------------------------

using LegacyRapiTest = LegacyLinkTest;

TEST_F(LegacyRapiTest, AnswersTheOlderLinksByteExamples) {
  world.AddDeviceFile("\\p.exe", "MZ");
  const Socket session = DockAndConnect();
  ASSERT_TRUE(session);
  // CeCreateDirectory(\d)
  EXPECT_EQ(Exchange(session, Hex("1A000000 17000000 01000000 06000000 01000000 5C006400 0000 "
                                  "00000000")),
            Hex("0C000000 00000000 00000000 01000000"));
  // CeCreateFile(\d\a.txt, GENERIC_WRITE, share 0, CREATE_ALWAYS, NORMAL): a handle.
  const Bytes created = Exchange(session, Hex("32000000 05000000 00000040 00000000 02000000 "
                                              "80000000 00000000 01000000 09000000") +
                                              Units(u"\\d\\a.txt") + Hex("0000"));
  ASSERT_EQ(created.size(), 16u) << Output();
  EXPECT_EQ(Bytes(created.begin(), created.begin() + 12), Hex("0C000000 00000000 00000000"));
  const std::uint32_t handle = WireReader(std::span(created).subspan(12)).U32();
  EXPECT_NE(handle, 0xFFFFFFFFu);
  // CeWriteFile(handle, "hello"), CeCloseHandle
  EXPECT_EQ(Exchange(session, Hex("19000000 07000000") + Le32(handle) +
                                  Hex("01000000 05000000 68656C6C6F 00000000")),
            Hex("10000000 00000000 00000000 01000000 05000000"));
  EXPECT_EQ(Exchange(session, Hex("08000000 08000000") + Le32(handle)),
            Hex("0C000000 00000000 00000000 01000000"));
  EXPECT_EQ(world.DeviceFile("\\d\\a.txt"), "hello");
  // CeCreateProcess(\p.exe, no command line)
  const Bytes started =
      Exchange(session, Hex("4A000000 19000000 01000000 0E000000 01000000") + Units(u"\\p.exe") +
                            Hex("0000 00000000 00000000 00000000 00000000 00000000 00000000 "
                                "00000000 00000000 01000000 10000000 00000000"));
  ASSERT_EQ(started.size(), 44u) << Output();
  EXPECT_EQ(Bytes(started.begin(), started.begin() + 28),
            Hex("28000000 00000000 00000000 01000000 01000000 10000000 01000000"));
  EXPECT_NE(world.StartedLog().find("\\p.exe"), std::string::npos);
  // CeRegCreateKeyEx(HKLM, S, class NULL): the key and "created".
  const Bytes key_reply =
      Exchange(session, Hex("18000000 20000000 02000080 01000000 02000000 53000000 00000000"));
  ASSERT_EQ(key_reply.size(), 24u) << Output();
  EXPECT_EQ(Bytes(key_reply.begin(), key_reply.begin() + 16),
            Hex("14000000 00000000 00000000 00000000"));
  EXPECT_EQ(Bytes(key_reply.begin() + 20, key_reply.end()), Hex("01000000"));
  const Bytes key = Bytes(key_reply.begin() + 16, key_reply.begin() + 20);
  // CeRegSetValueEx(key, N, REG_DWORD, 7), then its size probe.
  EXPECT_EQ(Exchange(session, Hex("30000000 27000000") + key +
                                  Hex("01000000 04000000 01000000 4E000000 04000000 01000000 "
                                      "04000000 01000000 07000000 04000000")),
            Hex("0C000000 00000000 00000000 00000000"));
  EXPECT_EQ(Exchange(session, Hex("34000000 26000000") + key +
                                  Hex("01000000 04000000 01000000 4E000000 00000000 00000000 "
                                      "00000000 01000000 04000000 01000000 00000000")),
            Hex("24000000 00000000 00000000 00000000 00000000 00000000 01000000 04000000 "
                "01000000 04000000"));
  // CeGetSpecialFolderPath(0, 0x104), as captured from a real handheld.
  EXPECT_EQ(Exchange(session, Hex("0C000000 44000000 00000000 04010000")),
            Hex("28000000 00000000 00000000 0D000000") + Units(u"\\My Documents") + Hex("0000"));
  // An unknown command: flag 1, E_NOTIMPL; the session goes on.
  EXPECT_EQ(Exchange(session, Hex("04000000 77000000")), Hex("08000000 01000000 01400080"));
  EXPECT_EQ(Exchange(session, Hex("08000000 21000000") + key),
            Hex("0C000000 00000000 00000000 00000000"));
}

TEST_F(LegacyRapiTest, FileRoundTripRegistryAndSystemInfoOverSessionsOneAfterAnother) {
  world.AddDeviceFolder("\\My Documents");
  Socket session = DockAndConnect();
  ASSERT_TRUE(session);
  const std::u16string path = u"\\My Documents\\T.BIN";
  std::string content(40000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  const auto open = [&](std::uint32_t access, std::uint32_t disposition) {
    WireWriter request = Request(kLegCreateFile);
    request.U32(access).U32(0).U32(disposition).U32(kFileAttributeNormal).U32(0);
    rapi1::PlainString(request, path);
    const Bytes body = Must(session, std::move(request));
    WireReader reply(body);
    EXPECT_EQ(reply.U32(), kReplyPlain);
    EXPECT_EQ(reply.U32(), 0u);
    return reply.U32();
  };
  const std::uint32_t writing = open(kGenericWrite, kCreateNew);
  for (std::size_t at = 0; at < content.size(); at += kLegacyMaxTransfer) {
    const std::size_t n = std::min<std::size_t>(kLegacyMaxTransfer, content.size() - at);
    WireWriter request = Request(kLegWriteFile);
    request.U32(writing);
    rapi1::WriteData(request, std::span(reinterpret_cast<const std::uint8_t*>(&content[at]), n));
    rapi1::Null(request);
    EXPECT_EQ(Must(session, std::move(request)),
              Hex("00000000 00000000 01000000") + Le32(static_cast<std::uint32_t>(n)));
  }
  EXPECT_EQ(Must(session, Request(kLegCloseHandle).U32(writing)),
            Hex("00000000 00000000 01000000"));
  EXPECT_EQ(world.DeviceFile("\\My Documents\\T.BIN"), content);

  session.Close();  // the next session of the same docking
  session = desktop.Connect();
  const std::uint32_t reading = open(kGenericRead, kOpenExisting);
  std::string back;
  for (std::uint32_t got = 1; got > 0 && back.size() <= content.size();) {
    WireWriter request = Request(kLegReadFile);
    request.U32(reading);
    rapi1::OptionalOut(request, kLegacyMaxTransfer);
    rapi1::Null(request);
    const Bytes body = Must(session, std::move(request));
    WireReader reply(body);
    EXPECT_EQ(reply.U32(), kReplyPlain);
    reply.U32();
    EXPECT_EQ(reply.U32(), 1u);
    got = reply.U32();
    const auto bytes = reply.Bytes(got);
    back.append(bytes.begin(), bytes.end());
    if (!reply.ok()) break;
  }
  EXPECT_EQ(back, content);
  EXPECT_EQ(Must(session, Request(kLegCloseHandle).U32(reading)),
            Hex("00000000 00000000 01000000"));

  WireWriter listing = Request(kLegFindAllFiles);
  rapi1::PlainString(listing, u"\\My Documents\\*");
  listing.U32(kFafName | kFafAttributes | kFafSizeLow);
  EXPECT_EQ(Must(session, std::move(listing)), Hex("00000000 01000000 06000000 80000000") +
                                                   Le32(40000) + Units(u"T.BIN") + Hex("0000"));
  WireWriter deletion = Request(kLegDeleteFile);
  rapi1::OptionalString(deletion, path);
  EXPECT_EQ(Must(session, std::move(deletion)), Hex("00000000 00000000 01000000"));
  WireWriter attributes = Request(kLegGetFileAttributes);
  rapi1::PlainString(attributes, path);
  EXPECT_EQ(Must(session, std::move(attributes)), Hex("00000000 02000000 FFFFFFFF"));

  // The registry: a string set, read back whole, then into a buffer too small.
  WireWriter create = Request(kLegRegCreateKeyEx).U32(0x80000002u);  // HKLM
  rapi1::PlainString(create, u"Software\\Brenok");
  rapi1::Null(create);
  const Bytes created = Must(session, std::move(create));
  ASSERT_EQ(created.size(), 20u);
  const std::uint32_t key = WireReader(std::span(created).subspan(12)).U32();
  const Bytes value = Units(u"Field") + Hex("0000");
  WireWriter set = Request(kLegRegSetValueEx).U32(key);
  rapi1::OptionalString(set, u"Who");
  set.U32(kRegSz);
  rapi1::OptionalIn(set, value);
  set.U32(static_cast<std::uint32_t>(value.size()));
  EXPECT_EQ(Must(session, std::move(set)), Hex("00000000 00000000 00000000"));
  const auto query = [&](std::uint32_t room) {
    WireWriter request = Request(kLegRegQueryValueEx).U32(key);
    rapi1::OptionalString(request, u"Who");
    rapi1::Null(request);
    rapi1::OptionalOut(request, 4);
    rapi1::OptionalOut(request, room);
    rapi1::OptionalIn(request, Le32(room));
    return Must(session, std::move(request));
  };
  EXPECT_EQ(query(64), Hex("00000000 00000000 00000000 01000000 04000000 01000000 01000000 "
                           "01000000 0C000000 01000000") +
                           value + Hex("01000000 04000000 01000000 0C000000"));
  EXPECT_EQ(query(4), Hex("00000000 EA000000 EA000000"));  // ERROR_MORE_DATA, nothing after

  WireWriter system = Request(kLegGetSystemInfo);
  rapi1::OptionalOut(system, 36);
  const Bytes info = Must(session, std::move(system));
  ASSERT_EQ(info.size(), 4u + 4 + 12 + 36);
  EXPECT_EQ(Bytes(info.begin(), info.begin() + 24), Hex("00000000 00000000 01000000 24000000 "
                                                        "01000000 05000000"));
  EXPECT_EQ(WireReader(std::span(info).subspan(20 + 24)).U32(), 0xA11u);

  // A connection to the session port from another address is no session.
  const Socket stranger = desktop.Connect(desktop.addresses().desktop + 2);
  EXPECT_TRUE(ClosedWithNothing(stranger)) << Output();
}

// --- Hostile modes ---------------------------------------------------------

struct InfoCase {
  const char* mode;
  const char* problem;  ///< what the desktop's parser says; "" for a short header
};

class LegacyHostileInfoTest : public LegacyLinkTest,
                              public ::testing::WithParamInterface<InfoCase> {};

TEST_P(LegacyHostileInfoTest, InfoPacketIsMalformedForWhatItIs) {
  const auto opening = Dock({"--hostile", GetParam().mode});
  ASSERT_TRUE(opening);
  std::string problem;
  if (std::string_view(GetParam().problem).empty()) {
    EXPECT_GT(opening->header, 0u);
    EXPECT_LT(opening->header, kLegacyLeastInfo);
  } else {
    EXPECT_FALSE(ParseLegacyInfo(opening->packet, problem));
    EXPECT_EQ(problem, GetParam().problem);
  }
  desktop.control().Close();
  EXPECT_EQ(handheld->Wait(kTestWaitMs), 0) << Output();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LegacyHostileInfoTest,
    ::testing::Values(InfoCase{"legacy-offset-out", "the name is outside the packet"},
                      InfoCase{"legacy-name-no-nul", "the name has no NUL inside the packet"},
                      InfoCase{"legacy-short-header", ""}));

TEST_F(LegacyRapiTest, BadFlagSpoilsTheNthReplyOnly) {
  ASSERT_TRUE(Dock({"--hostile", "legacy-bad-flag", "--hostile-at", "2"}));
  const Socket session = desktop.Connect();
  for (const std::uint32_t flag : {0u, 2u, 0u}) {
    EXPECT_EQ(WireReader(Must(session, Request(kLegGetVersionEx))).U32(), flag);
  }
}

// --- The serial line's text exchange ---------------------------------------

// What comes on `fd` until it holds `least` bytes and ends with `tail`, or
// the tests' wait passes.
std::string ReadUntil(int fd, std::string_view tail, std::size_t least = 0) {
  std::string text;
  const std::int64_t deadline = MonotonicMs() + kTestWaitMs;
  while ((text.size() < least || !text.ends_with(tail)) && MonotonicMs() < deadline) {
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, 50) <= 0) continue;
    char bytes[64];
    const ssize_t got = ::read(fd, bytes, sizeof bytes);
    if (got <= 0) break;
    text.append(bytes, static_cast<std::size_t>(got));
  }
  return text;
}

// How many times `text` starts with `client`, those taken off it.
int TakeClients(std::string& text, const std::string& client) {
  int count = 0;
  for (; text.starts_with(client); ++count) text.erase(0, client.size());
  return count;
}

TEST(LegacyChat, RawLineRepeatsClientUntilTheAnswerThenSaysWhatFollows) {
  struct Case {
    std::vector<std::string> options;
    bool answer;
    std::string expected;  ///< what comes after the last CLIENT (or instead of it)
    int exit_code;
  };
  const std::string client = std::string(1, '\0') + "CLIENT";
  for (const Case& c : std::vector<Case>{
           {{"--chat-nul", "--chat-repeat-ms", "100", "--chat-then", "~"}, true, "~", 0},
           {{"--wait-ms", "300"}, false, "", 1},
           {{"--chat-ppp-first"}, false, "~", 0}}) {
    int master = -1;
    int slave = -1;
    char name[64] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::vector<std::string> args{ZP_HANDHELD, "--chat-tty", name};
    args.insert(args.end(), c.options.begin(), c.options.end());
    HandheldProcess handheld(args, ::testing::TempDir() + "legacy-chat.out");
    if (c.answer) {
      // CLIENT is written again while nothing answers.
      std::string first = ReadUntil(master, "", 2 * client.size());
      EXPECT_GE(TakeClients(first, client), 2);
      EXPECT_EQ(first, "");
      for (const char* part : {"CLIENTSE", "RVER"}) {
        ASSERT_EQ(::write(master, part, std::strlen(part)), ssize_t(std::strlen(part)));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      // A raw line echoes nothing: only CLIENTs still under way, then "~".
      std::string after = ReadUntil(master, "~");
      TakeClients(after, client);
      EXPECT_EQ(after, c.expected);
    } else if (!c.expected.empty()) {
      EXPECT_EQ(ReadUntil(master, c.expected), c.expected);
    }
    EXPECT_EQ(handheld.Wait(kTestWaitMs), c.exit_code) << args.back() << handheld.Output();
    ::close(master);
    ::close(slave);
  }
}

}  // namespace
}  // namespace zp::test
