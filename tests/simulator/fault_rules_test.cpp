#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "simulator/fault_rules.h"
#include "simulator/simulated_device.h"
#include "support/device_world.h"

namespace zp {
namespace {

using Outcome = FaultRules::Outcome;

std::vector<Outcome> Checks(FaultRules& rules, std::string_view op, const std::u16string& path,
                            int calls) {
  std::vector<Outcome> out;
  out.reserve(static_cast<std::size_t>(calls));
  for (int i = 0; i < calls; ++i) out.push_back(rules.Check(op, path));
  return out;
}

constexpr Outcome P = Outcome::Pass;
constexpr Outcome F = Outcome::Fail;
constexpr Outcome D = Outcome::Disconnected;

TEST(SimFaultRules, NthOnceOrPersistentByOperationAndPath) {
  FaultRules rules;
  rules.Fail("CeReadFile", "", 2);
  rules.Fail("CeDeleteFile", "*\\b.arr", 2, true);
  EXPECT_EQ(Checks(rules, "CeReadFile", u"\\x", 4), (std::vector<Outcome>{P, F, P, P}));
  EXPECT_EQ(rules.Check("CeDeleteFile", u"\\Sync\\A.ARR"), P);  // not counted: no match
  EXPECT_EQ(Checks(rules, "CeDeleteFile", u"\\Sync\\B.ARR", 4), (std::vector<Outcome>{P, F, F, F}));
  EXPECT_EQ(rules.Check("CeWriteFile", u"\\Sync\\B.ARR"), P);
}

TEST(SimFaultRules, DisconnectAfterServesThatManyThenFailsEverything) {
  FaultRules rules;
  rules.DisconnectAfter(2);
  EXPECT_EQ(Checks(rules, "CeReadFile", u"", 2), (std::vector<Outcome>{P, P}));
  EXPECT_EQ(Checks(rules, "CeGetDeviceId", u"", 2), (std::vector<Outcome>{D, D}));
  rules.Clear();
  EXPECT_TRUE(rules.empty());
  EXPECT_EQ(rules.Check("CeReadFile", u""), P);
}

TEST(SimFaultRules, LostRepliesAreForDeletesOnlyAndMayDropTheLink) {
  std::vector<std::string> problems;
  FaultRules rules = FaultRules::Parse(
      "lost CeDeleteFile path=*B.ARR drop\nlost CeWriteFile\nfail CeReadFile drop\n", &problems);
  EXPECT_EQ(problems, (std::vector<std::string>{"2: cannot read: lost CeWriteFile",
                                                "3: cannot read: fail CeReadFile drop"}));
  EXPECT_EQ(rules.Check("CeDeleteFile", u"\\A.ARR"), FaultRules::Outcome::Pass);
  EXPECT_EQ(rules.Check("CeDeleteFile", u"\\B.ARR"), FaultRules::Outcome::Lost);
  EXPECT_TRUE(rules.last_drops());
}

TEST(SimFaultRules, SlowRulesDelayTheirOperationOnlyAndBadOnesAreNamed) {
  std::vector<std::string> problems;
  const FaultRules rules = FaultRules::Parse(
      "slow CeReadFile ms=40\nslow * ms=2\nslow CeReadFile\nslow CeNothing ms=1\n"
      "slow CeWriteFile ms=-3\n",
      &problems);
  EXPECT_EQ(rules.DelayMilliseconds("CeReadFile"), 42);
  EXPECT_EQ(rules.DelayMilliseconds("CeWriteFile"), 2);
  EXPECT_EQ(problems, (std::vector<std::string>{"3: cannot read: slow CeReadFile",
                                                "4: cannot read: slow CeNothing ms=1",
                                                "5: cannot read: slow CeWriteFile ms=-3"}));
}

TEST(SimFaultRules, ParsesTheFaultsFormatAndNamesBadLines) {
  std::vector<std::string> problems;
  FaultRules rules = FaultRules::Parse(
      "# comment\n"
      "fail CeDeleteFile path=\\My Documents\\B.ARR\r\n"
      "fail CeReadFile nth=3 always\n"
      "fail CeCreateProcess path=\"\\x always\" error=0x20\n"
      "short CeWriteFile path=*.ARR nth=2\n"
      "fail CeReadFiel\n"
      "short CeReadFile\n"
      "fail * nth=0\n"
      "disconnect after=x\n"
      "\n"
      "disconnect after=12\n",
      &problems);
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "6: cannot read: fail CeReadFiel", "7: cannot read: short CeReadFile",
                          "8: cannot read: fail * nth=0", "9: cannot read: disconnect after=x"}));
  EXPECT_EQ(rules.Check("CeDeleteFile", u"\\my documents\\b.arr"), F);
  EXPECT_EQ(Checks(rules, "CeReadFile", u"", 4), (std::vector<Outcome>{P, P, F, F}));
  EXPECT_EQ(rules.Check("CeCreateProcess", u"\\x always"), F);
  EXPECT_EQ(rules.last_error(), 0x20u);
  EXPECT_EQ(Checks(rules, "CeWriteFile", u"\\A.ARR", 2),
            (std::vector<Outcome>{P, Outcome::ShortWrite}));
  EXPECT_EQ(Checks(rules, "CeRapiUninit", u"", 4), (std::vector<Outcome>{P, P, P, P}));
  EXPECT_EQ(Checks(rules, "CeRapiUninit", u"", 1), (std::vector<Outcome>{D}));  // after 12 calls
}

class SimFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    world.AddDeviceFile("\\Sync\\A.ARR", "abcdef");
    ASSERT_EQ(device.CeRapiInit(), 0);
  }
  test::DeviceWorld world;
  SimulatedDevice device{world.device_folder(), world.desktop_registry()};
};

TEST_F(SimFaults, FailuresComeOutAsEachOperationReportsThem) {
  device.faults().Fail("CeGetFileAttributes");
  device.faults().Fail("CeCreateFile", "\\Sync\\*");
  device.faults().Fail("CeRegOpenKeyEx");
  FaultRule coded;
  coded.operation = "CeDeleteFile";
  coded.error = 1234;
  device.faults().Add(coded);

  EXPECT_EQ(device.CeGetFileAttributes(u"\\Sync"), kInvalidAttributes);
  EXPECT_EQ(device.CeGetFileAttributes(u"\\Sync"), kAttributeDirectory);  // once only
  EXPECT_EQ(device.CeCreateFile(u"\\Sync\\A.ARR", kGenericRead, 0, kOpenExisting, 0),
            kInvalidCeHandle);
  CeKey key = kNoCeKey;
  EXPECT_NE(device.CeRegOpenKeyEx(kCeHkeyLocalMachine, u"Ident", &key), 0);
  EXPECT_FALSE(device.CeDeleteFile(u"\\Sync\\A.ARR"));
  EXPECT_EQ(device.CeGetLastError(), 1234u);
  EXPECT_EQ(device.CeRapiGetError(), 0);
  EXPECT_TRUE(world.DeviceHas("\\Sync\\A.ARR"));
}

TEST_F(SimFaults, ShortWriteWritesHalfAndSaysSo) {
  device.faults().ShortWrite("*.ARR", 2);
  const CeHandle h = device.CeCreateFile(u"\\Sync\\B.ARR", kGenericWrite, 0, kCreateAlways, 0);
  std::uint32_t put = 0;
  ASSERT_TRUE(device.CeWriteFile(h, "1234", 4, &put));
  EXPECT_EQ(put, 4u);
  ASSERT_TRUE(device.CeWriteFile(h, "5678", 4, &put));
  EXPECT_EQ(put, 2u);
  EXPECT_TRUE(device.CeCloseHandle(h));
  EXPECT_EQ(world.DeviceFile("\\Sync\\B.ARR"), "123456");
}

TEST_F(SimFaults, DisconnectFailsEverythingAndReleasesWhatIsClosed) {
  const CeHandle h = device.CeCreateFile(u"\\Sync\\A.ARR", kGenericRead, 0, kOpenExisting, 0);
  device.faults().DisconnectAfter(1);
  char buffer[8];
  std::uint32_t got = 0;
  EXPECT_TRUE(device.CeReadFile(h, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 6u);
  EXPECT_FALSE(device.CeReadFile(h, buffer, sizeof buffer, &got));
  EXPECT_EQ(device.CeGetLastError(), kErrorNotConnected);
  EXPECT_EQ(device.CeRapiGetError(), static_cast<std::int32_t>(0x80072745u));
  EXPECT_EQ(device.CeGetDeviceId(), 0u);
  EXPECT_FALSE(device.CeCloseHandle(h));
  EXPECT_EQ(device.OpenHandles(), 0u);
  EXPECT_LT(device.CeRapiInit(), 0);
}

TEST(SimJournal, OneLinePerOperationInOrderWithPaths) {
  test::DeviceWorld world;
  world.AddDeviceFile("\\Sync\\A.ARR", "x");
  world.SetDeviceReg("[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n\"DBState\"=dword:00000003\n");
  SimulatedDevice device(world.device_folder(), world.desktop_registry());
  device.CeGetDeviceId();
  EXPECT_TRUE(device.journal().empty());  // kept only when a test asks for it
  device.KeepJournal();
  device.CeGetDeviceId();
  device.CeRapiInit();
  const CeHandle h = device.CeCreateFile(u"\\Sync\\A.ARR", kGenericRead, 0, kOpenExisting, 0);
  char byte;
  std::uint32_t got = 0;
  device.CeReadFile(h, &byte, 1, &got);
  device.CeCloseHandle(h);
  CeKey key = kNoCeKey;
  device.CeRegOpenKeyEx(kCeHkeyLocalMachine, u"Software\\Brenok\\ZAMO", &key);
  std::uint32_t size = 0;
  device.CeRegQueryValueEx(key, u"DBState", nullptr, nullptr, &size);
  device.CeRegCloseKey(key);
  device.CeGetLastError();
  device.CeRapiUninit();
  EXPECT_EQ(device.journal(), (std::vector<std::string>{
                                  "CeGetDeviceId",
                                  "CeRapiInit",
                                  "CeCreateFile \\Sync\\A.ARR",
                                  "CeReadFile \\Sync\\A.ARR",
                                  "CeCloseHandle \\Sync\\A.ARR",
                                  "CeRegOpenKeyEx Software\\Brenok\\ZAMO",
                                  "CeRegQueryValueEx DBState",
                                  "CeRegCloseKey Software\\Brenok\\ZAMO",
                                  "CeRapiUninit",
                              }));
  EXPECT_EQ(size, 4u);
}

TEST(SimJournal, FaultsFileIsLoadedAndItsProblemsReported) {
  test::DeviceWorld world;
  world.SetFaults("fail CeRapiInit\nnonsense here\n");
  ::testing::internal::CaptureStderr();
  SimulatedDevice device(world.device_folder(), world.desktop_registry());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            world.device_folder() + "/faults:2: cannot read: nonsense here\n");
  EXPECT_EQ(device.CeRapiInit(), static_cast<std::int32_t>(0x80004005u));
  EXPECT_EQ(device.CeRapiInit(), 0);
  EXPECT_EQ(device.CeRapiUninit(), 0);
}

}  // namespace
}  // namespace zp
