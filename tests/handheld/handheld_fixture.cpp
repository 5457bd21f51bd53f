#include "handheld/handheld_fixture.h"

#include "support/reg_text.h"

namespace zp::test {

HandheldLinkTest::HandheldLinkTest() {
  SetIdent([](RegText&) {});
}

void HandheldLinkTest::SetIdent(const std::function<void(RegText&)>& more) {
  RegText reg(regfile::Strings::Wide);
  reg.Key("HKEY_LOCAL_MACHINE\\Ident").Dword("DeviceId", 0x42).Dword("ProcessorType", 0xA11);
  more(reg);
  reg.Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO").Dword("DBState", 3);
  world.SetDeviceReg(reg.Sections());
}

void HandheldLinkTest::Start(const std::vector<std::string>& extra) {
  std::vector<std::string> args = {ZP_HANDHELD, "--world", world.device_folder()};
  for (const std::string& arg : desktop.AddressArgs()) args.push_back(arg);
  for (const char* arg : {"--wait-ms", "10000", "--idle-ms", "20000", "--io-ms", "5000"}) {
    args.push_back(arg);
  }
  args.insert(args.end(), extra.begin(), extra.end());
  handheld = std::make_unique<HandheldProcess>(args, (world.dir.path() / "handheld.out").string());
}

std::optional<link::DeviceInfo> HandheldLinkTest::Dock(const std::vector<std::string>& extra) {
  Start(extra);
  if (!desktop.AcceptControl()) {
    ADD_FAILURE() << "the handheld never connected:\n" << HandheldOutput();
    return std::nullopt;
  }
  std::string problem;
  auto info = desktop.Handshake(problem);
  if (!info) ADD_FAILURE() << "handshake: " << problem << "\n" << HandheldOutput();
  return info;
}

Socket HandheldLinkTest::DockAndOpen(const std::vector<std::string>& extra) {
  if (!Dock(extra)) return {};
  Socket session = desktop.OpenSession(1);
  if (!session) ADD_FAILURE() << "no session:\n" << HandheldOutput();
  return session;
}

std::string HandheldLinkTest::HandheldOutput() const {
  return handheld ? handheld->Output() : std::string();
}

}  // namespace zp::test
