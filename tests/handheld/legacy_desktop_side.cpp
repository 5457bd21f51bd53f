#include "handheld/legacy_desktop_side.h"

#include <unistd.h>

#include "link/legacy_protocol.h"
#include "link/wire.h"
#include "support/own_network.h"

namespace zp::test {
namespace {

// `port` when it can be bound on `ip`, else an unprivileged one from the pid.
std::uint16_t Bindable(std::uint32_t ip, std::uint16_t port, std::uint16_t offset) {
  Socket probe;
  if (ListenTcp(NetAddress{ip, port}, "", probe) == NetResult::Done) return port;
  return static_cast<std::uint16_t>(20000 + offset + ::getpid() % 20000);
}

}  // namespace

LegacyDesktop::LegacyDesktop() : addresses_(PickAddresses()) {
  EnterOwnNetwork();  // without root, ports below 1024 in a namespace of its own
  session_port_ = Bindable(addresses_.device, link::kLegacySessionPort, 1);
  control_port_ = Bindable(addresses_.desktop, link::kLegacyControlPort, 2);
  ListenTcp(NetAddress{addresses_.desktop, control_port_}, "", listener_);
}

std::vector<std::string> LegacyDesktop::Args() const {
  return {"--legacy",
          "--device",
          FormatIpv4(addresses_.device),
          "--desktop",
          FormatIpv4(addresses_.desktop),
          "--legacy-port",
          std::to_string(control_port_),
          "--port",
          std::to_string(session_port_)};
}

bool LegacyDesktop::AcceptControl() {
  NetAddress peer;
  return AcceptTcp(listener_, Deadline::In(kTestWaitMs), control_, peer) == NetResult::Done &&
         peer.ip == addresses_.device;
}

std::optional<LegacyOpening> LegacyDesktop::ReadOpening() {
  LegacyOpening opening;
  const auto first = ReadWord();
  const auto header = ReadWord();
  if (!first || !header) return std::nullopt;
  opening.first = *first;
  opening.header = *header;
  if (*header < link::kLegacyLeastInfo || *header > link::kLegacyMostInfo) return opening;
  opening.packet.resize(*header);
  if (ReceiveWithin(control_, opening.packet, kTestWaitMs) != NetResult::Done) return std::nullopt;
  return opening;
}

bool LegacyDesktop::Send(std::initializer_list<std::uint32_t> words) {
  link::WireWriter out;
  for (const std::uint32_t word : words) out.U32(word);
  return SendBytes(out.bytes());
}

bool LegacyDesktop::SendBytes(std::span<const std::uint8_t> bytes) {
  return SendWithin(control_, bytes);
}

std::optional<std::uint32_t> LegacyDesktop::ReadWord() {
  std::uint8_t bytes[4];
  if (ReceiveWithin(control_, bytes, kTestWaitMs) != NetResult::Done) return std::nullopt;
  return link::WireReader(bytes).U32();
}

std::optional<std::uint16_t> LegacyDesktop::ReadU16() {
  std::uint8_t bytes[2];
  if (ReceiveWithin(control_, bytes, kTestWaitMs) != NetResult::Done) return std::nullopt;
  return link::WireReader(bytes).U16();
}

Socket LegacyDesktop::Connect(std::uint32_t from) const {
  Socket session;
  ConnectTcp(NetAddress{from != 0 ? from : addresses_.desktop, 0},
             NetAddress{addresses_.device, session_port_}, "", Deadline::In(kTestWaitMs), session);
  return session;
}

std::vector<std::uint8_t> LegacyPassword(const std::u16string& password, std::uint32_t key) {
  const auto mask = static_cast<std::uint8_t>(key & 0xFF);
  link::WireWriter out;
  out.U16(static_cast<std::uint16_t>(2 * (password.size() + 1)));
  for (const char16_t unit : password + u'\0') {
    out.U8(static_cast<std::uint8_t>((unit & 0xFF) ^ mask));
    out.U8(static_cast<std::uint8_t>((unit >> 8) ^ mask));
  }
  return std::move(out.bytes());
}

Bytes Hex(std::string_view text) {
  Bytes bytes;
  std::string digits;
  for (const char c : text) {
    if (c != ' ') digits.push_back(c);
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

Bytes Le32(std::uint32_t value) {
  link::WireWriter out;
  out.U32(value);
  return out.bytes();
}

Bytes Units(std::u16string_view text) {
  link::WireWriter out;
  out.Utf16(text);
  return out.bytes();
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

LegacyLinkTest::LegacyLinkTest() {
  SetIdent([](RegText&) {});
}

void LegacyLinkTest::SetIdent(const std::function<void(RegText&)>& more) {
  RegText reg(regfile::Strings::Wide);
  reg.Key("HKEY_LOCAL_MACHINE\\Ident").String("Name", "Field_7").Dword("DeviceId", 0x42);
  reg.Dword("ProcessorType", 0xA11);
  more(reg);
  world.SetDeviceReg(reg.Sections());
}

void LegacyLinkTest::Start(const std::vector<std::string>& extra) {
  std::vector<std::string> args = {ZP_HANDHELD, "--world", world.device_folder()};
  for (const std::string& arg : desktop.Args()) args.push_back(arg);
  for (const char* arg : {"--wait-ms", "10000", "--idle-ms", "20000", "--io-ms", "5000"}) {
    args.push_back(arg);
  }
  args.insert(args.end(), extra.begin(), extra.end());
  handheld = std::make_unique<HandheldProcess>(args, (world.dir.path() / "handheld.out").string());
}

std::optional<LegacyOpening> LegacyLinkTest::Dock(const std::vector<std::string>& extra) {
  Start(extra);
  if (!desktop.AcceptControl()) {
    ADD_FAILURE() << "the handheld never connected:\n" << Output();
    return std::nullopt;
  }
  auto opening = desktop.ReadOpening();
  if (!opening) ADD_FAILURE() << "no info packet:\n" << Output();
  return opening;
}

Socket LegacyLinkTest::DockAndConnect() {
  if (!Dock()) return {};
  Socket session = desktop.Connect();
  if (!session) ADD_FAILURE() << "no session:\n" << Output();
  return session;
}

Bytes LegacyLinkTest::Exchange(const Socket& session, const Bytes& request) {
  if (!SendWithin(session, request)) return {};
  const auto body = ReadFrame(session);
  if (!body) return {};
  return Le32(static_cast<std::uint32_t>(body->size())) + *body;
}

Bytes LegacyLinkTest::Must(const Socket& session, link::WireWriter request) {
  auto body = Call(session, std::move(request));
  if (!body) ADD_FAILURE() << "no reply:\n" << Output();
  return body.value_or(Bytes{});
}

std::string LegacyLinkTest::Output() const {
  return handheld ? handheld->Output() : std::string();
}

}  // namespace zp::test
