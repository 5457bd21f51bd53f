// zp-handheld's faults on the wire: the world's fault rules as closed
// connections, and the hostile modes the desktop's tests rely on.
#include <gtest/gtest.h>

#include "handheld/handheld_fixture.h"
#include "link/protocol.h"

namespace zp::test {
namespace {

using namespace zp::link;

using HandheldFaultTest = HandheldLinkTest;

WireWriter Attributes(std::u16string_view path) {
  WireWriter request = Request(kCmdGetFileAttributes);
  request.String(path);
  return request;
}

TEST_F(HandheldFaultTest, DisconnectRuleClosesTheSessionWithNoReply) {
  // CeRapiInit, when the session opens, is the first operation served.
  world.SetFaults("disconnect after=3\n");
  const Socket session = DockAndOpen();
  ASSERT_TRUE(session);
  EXPECT_TRUE(Call(session, Attributes(u"\\")));
  EXPECT_TRUE(Call(session, Attributes(u"\\")));
  ASSERT_TRUE(SendWithin(session, FinishFrame(Attributes(u"\\"))));
  EXPECT_TRUE(ClosedWithNothing(session)) << HandheldOutput();
  EXPECT_NE(HandheldOutput().find("the link is lost"), std::string::npos);
}

TEST_F(HandheldFaultTest, LostDeleteWithDropDeletesTheFileThenClosesWithNoReply) {
  world.AddDeviceFile("\\B.ARR", "b");
  world.SetFaults("lost CeDeleteFile path=*B.ARR drop\n");
  const Socket session = DockAndOpen();
  ASSERT_TRUE(session);
  WireWriter request = Request(kCmdDeleteFile);
  request.String(u"\\B.ARR");
  ASSERT_TRUE(SendWithin(session, FinishFrame(std::move(request))));
  EXPECT_TRUE(ClosedWithNothing(session)) << HandheldOutput();
  EXPECT_FALSE(world.DeviceHas("\\B.ARR"));
}

struct InfoCase {
  const char* mode;
  const char* problem;  ///< what the desktop's parser says
};

class HandheldHostileInfoTest : public HandheldLinkTest,
                                public ::testing::WithParamInterface<InfoCase> {};

TEST_P(HandheldHostileInfoTest, InfoPacketIsRefusedForWhatItIs) {
  Start({"--hostile", GetParam().mode});
  ASSERT_TRUE(desktop.AcceptControl()) << HandheldOutput();
  std::string problem;
  EXPECT_FALSE(desktop.Handshake(problem));
  EXPECT_EQ(problem, GetParam().problem);
  desktop.control().Close();
  EXPECT_EQ(handheld->Wait(kTestWaitMs), 0) << HandheldOutput();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, HandheldHostileInfoTest,
    ::testing::Values(InfoCase{"info-overrun", "the name overruns the packet"},
                      InfoCase{"info-long-name", "the name is longer than its field"},
                      InfoCase{"info-over-cap", "the info packet is over the cap"}),
    [](const auto& test) {
      std::string name = test.param.mode;
      std::erase(name, '-');
      return name;
    });

// Each mode spoils the second reply of the session; the first is whole.
class HandheldSpoiledReplyTest : public HandheldLinkTest,
                                 public ::testing::WithParamInterface<const char*> {};

TEST_P(HandheldSpoiledReplyTest, OnlyTheCallAskedForIsSpoiled) {
  const std::string mode = GetParam();
  const Socket session = DockAndOpen({"--hostile", mode, "--hostile-at", "2"});
  ASSERT_TRUE(session);
  const auto whole = Call(session, Attributes(u"\\"));
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size(), 8u);

  ASSERT_TRUE(SendWithin(session, FinishFrame(Attributes(u"\\"))));
  std::uint8_t head[4];
  const NetResult got = ReceiveWithin(session, head, mode == "stall" ? 500 : kTestWaitMs);
  if (mode == "stall") {
    EXPECT_EQ(got, NetResult::TimedOut) << "no reply, and the connection stays open";
    return;
  }
  ASSERT_EQ(got, NetResult::Done);
  const std::uint32_t length = WireReader(head).U32();
  if (mode == "frame-over-cap") {
    EXPECT_EQ(length, 0x7FFFFFF0u);
  } else if (mode == "reply-short") {
    EXPECT_EQ(length, 4u) << "only the last error";
  } else {  // frame-truncated: the length, half the body, then the close
    EXPECT_EQ(length, 8u);
    std::uint8_t half[4];
    EXPECT_EQ(ReceiveWithin(session, half, kTestWaitMs), NetResult::Done);
    EXPECT_TRUE(ClosedWithNothing(session));
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, HandheldSpoiledReplyTest,
                         ::testing::Values("reply-short", "frame-over-cap", "frame-truncated",
                                           "stall"),
                         [](const auto& test) {
                           std::string name = test.param;
                           std::erase(name, '-');
                           return name;
                         });

TEST_F(HandheldFaultTest, WrongSessionSendsTheNextNumber) {
  ASSERT_TRUE(Dock({"--hostile", "wrong-session"}));
  std::uint32_t first = 0;
  EXPECT_TRUE(desktop.OpenSession(4, &first));
  EXPECT_EQ(first, 5u);
}

TEST_F(HandheldFaultTest, SecondInfoComesAfterTheFirstSessionOpens) {
  const auto info = Dock({"--hostile", "second-info"});
  ASSERT_TRUE(info);
  ASSERT_TRUE(desktop.OpenSession(1));
  EXPECT_EQ(desktop.ReadWord(), kCtlInfo);
  const auto size = desktop.ReadWord();
  ASSERT_TRUE(size);
  std::vector<std::uint8_t> bytes(*size);
  ASSERT_EQ(ReceiveWithin(desktop.control(), bytes, kTestWaitMs), NetResult::Done);
  std::string problem;
  const auto other = ParseDeviceInfo(bytes, problem);
  ASSERT_TRUE(other) << problem;
  EXPECT_NE(other->guid, info->guid);
  EXPECT_EQ(other->name, u"Other_PC");
}

}  // namespace
}  // namespace zp::test
