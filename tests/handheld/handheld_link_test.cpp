// zp-handheld's control connection: who it says it is, the keepalive, the
// two locks, and its end.
#include <gtest/gtest.h>

#include "handheld/handheld_fixture.h"
#include "link/protocol.h"
#include "platform/utf.h"

namespace zp::test {
namespace {

TEST(HandheldHelp, ListsEveryOption) {
  DeviceWorld world;
  HandheldProcess help({ZP_HANDHELD, "--help"}, (world.dir.path() / "help.out").string());
  ASSERT_EQ(help.Wait(kTestWaitMs), 0);
  const std::string text = help.Output();
  for (const char* option : {"--world",
                             "--device",
                             "--desktop",
                             "--port",
                             "--trigger-port",
                             "--wait-ms",
                             "--idle-ms",
                             "--io-ms",
                             "--unlock-after-ms",
                             "--name",
                             "--guid",
                             "--partner",
                             "--lock",
                             "--password",
                             "--hostile",
                             "--hostile-at",
                             "990",
                             "5679",
                             "never-connect",
                             "wrong-session"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
}

using HandheldControlTest = HandheldLinkTest;

TEST_F(HandheldControlTest, SaysWhoTheWorldIsAnswersPingsAndEndsWithTheControlLink) {
  SetIdent([](RegText& reg) {
    reg.String("Name", "Field_7").String("Guid", "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
  });
  const auto info = Dock();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, u"Field_7");
  EXPECT_EQ(link::FormatGuid(info->guid), "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
  EXPECT_EQ(info->partner_id, 0x42u);
  EXPECT_EQ(info->lock_key, link::kLockNone);
  EXPECT_EQ(info->os_major, 5u);
  EXPECT_EQ(info->os_minor, 2u);
  EXPECT_EQ(info->build, 15000u);
  EXPECT_EQ(info->processor_type, 0xA11u);
  EXPECT_EQ(info->model, "ZP-Sim");

  ASSERT_TRUE(desktop.Send({link::kCtlPing}));
  EXPECT_EQ(desktop.ReadWord(), link::kCtlPong);
  ASSERT_TRUE(desktop.Send({77}));  // not known: logged, and the link goes on
  ASSERT_TRUE(desktop.Send({link::kCtlPing}));
  EXPECT_EQ(desktop.ReadWord(), link::kCtlPong);

  desktop.control().Close();
  EXPECT_EQ(handheld->Wait(kTestWaitMs), 0) << HandheldOutput();
}

TEST_F(HandheldControlTest, MakesItsGuidFromThePartnerIdAndTakesTheCommandLine) {
  const auto info = Dock({"--partner", "0x77", "--name", "Other"});
  ASSERT_TRUE(info);
  EXPECT_EQ(info->partner_id, 0x77u);
  EXPECT_EQ(info->name, u"Other");
  EXPECT_EQ(link::FormatGuid(info->guid), "{00000077-0000-0000-0000-000000000000}");
}

// The password as a WM5 handheld takes it: UTF-16LE, every byte XOR'ed with
// the key's low byte, after a u16 byte count.
std::vector<std::uint8_t> PasswordAttempt(const std::string& password, std::uint32_t key,
                                          bool with_nul) {
  std::u16string text = utf::FromUtf8(password);
  if (with_nul) text.push_back(u'\0');
  link::WireWriter out;
  out.U16(static_cast<std::uint16_t>(text.size() * 2));
  for (const char16_t unit : text) {
    out.U8(static_cast<std::uint8_t>((unit & 0xFF) ^ (key & 0xFF)));
    out.U8(static_cast<std::uint8_t>((unit >> 8) ^ (key & 0xFF)));
  }
  return std::move(out.bytes());
}

std::optional<std::uint16_t> ReadAnswer(Socket& control) {
  std::uint8_t bytes[2];
  if (ReceiveWithin(control, bytes, kTestWaitMs) != NetResult::Done) return std::nullopt;
  return link::WireReader(bytes).U16();
}

TEST_F(HandheldControlTest, PasswordLockRefusesAWrongPasswordAndLogsEachAttempt) {
  constexpr std::uint32_t kKey = 0x1234ABCD;
  SetIdent([](RegText& reg) { reg.Dword("LockKey", kKey).String("Password", "secret"); });
  const auto info = Dock();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->lock_key, kKey);

  ASSERT_TRUE(SendWithin(desktop.control(), PasswordAttempt("Secret", kKey, true)));
  EXPECT_EQ(ReadAnswer(desktop.control()), 0);
  EXPECT_EQ(world.dir.Read("device/password.log"), "refused\n");
  ASSERT_TRUE(SendWithin(desktop.control(), PasswordAttempt("secret", kKey, false)));
  EXPECT_EQ(ReadAnswer(desktop.control()), 1);
  EXPECT_EQ(world.dir.Read("device/password.log"), "refused\naccepted\n");

  std::uint32_t first = 0;
  EXPECT_TRUE(desktop.OpenSession(3, &first)) << HandheldOutput();
  EXPECT_EQ(first, 3u);
}

TEST_F(HandheldControlTest, LockedOnTheDeviceNoSessionOpensUntilTheUserUnlocks) {
  const auto info = Dock({"--lock", "0xFFFFFFFF", "--unlock-after-ms", "300"});
  ASSERT_TRUE(info);
  EXPECT_EQ(info->lock_key, link::kLockOnDevice);
  EXPECT_FALSE(desktop.OpenSession(1, nullptr, 500));

  const std::int64_t asked = MonotonicMs();
  ASSERT_TRUE(desktop.Send({link::kCtlShowUnlock}));
  EXPECT_EQ(desktop.ReadWord(), link::kCtlUnlocked);
  EXPECT_GE(MonotonicMs() - asked, 250);
  ASSERT_TRUE(desktop.Send({link::kCtlUnlockedAck[0], link::kCtlUnlockedAck[1]}));

  std::uint32_t first = 0;
  EXPECT_TRUE(desktop.OpenSession(2, &first)) << HandheldOutput();
  EXPECT_EQ(first, 2u);
}

}  // namespace
}  // namespace zp::test
