// zp-handheld's run: the trigger, the one loop over the control and the
// session connections, and the sessions' opening.
#include "simulator/handheld/handheld.h"

#include <filesystem>
#include <string>

#include "link/protocol.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {

Handheld::Handheld(Options options, Identity identity)
    : options_(std::move(options)),
      identity_(std::move(identity)),
      device_(options_.world, ""),
      calls_(device_, std::filesystem::path(options_.world) / "files") {
  if (ShapesReply(options_.hostile)) spoil_ = SpoiledReply{options_.hostile, options_.hostile_at};
  second_info_due_ = options_.hostile == Hostile::SecondInfo;
  reconnect_due_ = options_.hostile == Hostile::Reconnect;
  reconnect_at_request_due_ = options_.hostile == Hostile::ReconnectAtRequest;
  const std::uint32_t key = identity_.info.lock_key;
  lock_ = key == link::kLockNone       ? Lock::None
          : key == link::kLockOnDevice ? Lock::OnDevice
                                       : Lock::Password;
}

int Handheld::Run() {
  if (!AwaitTrigger()) return kExitNoLink;
  if (options_.hostile == Hostile::NeverConnect) {
    Log("never-connect: the trigger came; no connection is made");
    Linger(nullptr);
    return kExitEnded;
  }
  const NetAddress desktop{options_.desktop_ip, options_.port};
  if (options_.hostile == Hostile::BadFirst) SendBadFirst();
  if (ConnectTcp(NetAddress{options_.device_ip, 0}, desktop, "", Deadline::In(options_.io_ms),
                 control_) != NetResult::Done) {
    Log("cannot connect to " + FormatIpv4(desktop.ip) + ":" + std::to_string(desktop.port) + ": " +
        SocketFailureText());
    return kExitNoLink;
  }
  last_traffic_ = MonotonicMs();
  switch (Handshake()) {
    case Step::Failed:
      return kExitNoLink;
    case Step::Ended:
      return kExitEnded;
    case Step::Go:
      break;
  }
  if (options_.hostile == Hostile::InfoOverCap) {
    Linger(&control_);
    return kExitEnded;
  }
  Loop();
  if (rapi_open_) device_.CeRapiUninit();
  return kExitEnded;
}

bool Handheld::AwaitTrigger() {
  const NetAddress local{options_.device_ip, options_.trigger_port};
  Socket udp;
  if (BindUdp(local, "", udp) != NetResult::Done) {
    Log("cannot listen on " + FormatIpv4(local.ip) + ":" + std::to_string(local.port) +
        " (UDP): " + SocketFailureText());
    return false;
  }
  Log("waiting for the trigger on " + FormatIpv4(local.ip) + ":" + std::to_string(local.port));
  const Deadline deadline = Deadline::In(options_.wait_ms);
  while (!Stopping() && !deadline.Passed()) {
    std::uint8_t datagram[64];
    std::size_t got = 0;
    NetAddress from;
    const NetResult waited =
        ReceiveDatagram(udp, datagram, deadline.Earlier(Deadline::In(kTickMs)), got, from);
    if (waited == NetResult::Failed) break;
    if (waited != NetResult::Done) continue;
    if (got == 1 && datagram[0] == link::kTriggerByte) return true;
    Log("a datagram that is not the trigger, ignored");
  }
  Log(Stopping() ? "stopped before the trigger came" : "no trigger came");
  return false;
}

void Handheld::SendBadFirst() {
  Socket first;
  if (ConnectTcp(NetAddress{options_.device_ip, 0}, NetAddress{options_.desktop_ip, options_.port},
                 "", Deadline::In(options_.io_ms), first) != NetResult::Done) {
    Log("bad-first: cannot connect: " + SocketFailureText());
    return;
  }
  // Hello, then an info packet whose name runs past its end; the desktop's
  // answers are not awaited: the connection closes at once.
  auto packet = link::BuildDeviceInfo(identity_.info);
  link::WireWriter out;
  out.U32(link::kCtlHello).U32(link::kCtlInfo).U32(static_cast<std::uint32_t>(packet.size()));
  out.Bytes(packet);
  out.PatchU32(12 + 24, 1000);  // the name's length, past the packet
  SendBytes(first, out.bytes());
  Pause(200);
  Log("bad-first: a connection with an overrunning info packet, now closed");
}

void Handheld::Linger(const Socket* open) {
  const Socket* const watched[] = {open};
  const std::int64_t since = MonotonicMs();
  while (!Stopping() && MonotonicMs() - since < options_.idle_ms) {
    std::size_t ready = 0;
    if (open && WaitReadable(watched, Deadline::In(kTickMs), ready) == NetResult::Done) {
      std::uint8_t byte[1];
      if (ReadExactly(*open, byte, kTickMs) == NetResult::Failed) {
        Log("the desktop closed the control connection");
        return;
      }
    } else if (!open) {
      Pause(kTickMs);
    }
  }
}

void Handheld::Loop() {
  while (!Stopping()) {
    std::vector<const Socket*> watched{&control_};
    for (const auto& session : sessions_) watched.push_back(&session->socket());
    std::size_t ready = 0;
    const Traffic traffic = AwaitTraffic(watched, options_.idle_ms, last_traffic_, ready);
    if (traffic == Traffic::End) return;
    if (traffic == Traffic::Quiet) continue;
    if (ready == 0) {
      if (!OnControl()) return;
      continue;
    }
    const std::size_t at = ready - 1;
    if (!sessions_[at]->OnReadable()) {
      sessions_.erase(sessions_.begin() + static_cast<std::ptrdiff_t>(at));
    }
  }
  Log("stopped");
}

void Handheld::OpenSession(std::uint32_t request) {
  // The remote API's connection opens with the first session; a handheld
  // that refused it (a fault rule) opens no session connection, and is
  // asked again with the next request.
  if (!rapi_open_) rapi_open_ = device_.CeRapiInit() == 0;
  if (!rapi_open_) {
    Log("session " + std::to_string(request) + ": the remote API refused to open; no session");
    return;
  }
  const std::uint32_t sent = options_.hostile == Hostile::WrongSession ? request + 1 : request;
  Socket connection;
  if (ConnectTcp(NetAddress{options_.device_ip, 0}, NetAddress{options_.desktop_ip, options_.port},
                 "", Deadline::In(options_.io_ms), connection) != NetResult::Done) {
    Log("session " + std::to_string(request) + ": cannot connect: " + SocketFailureText());
    return;
  }
  if (!SendU32(connection, sent)) {
    Log("session " + std::to_string(request) + ": cannot send its number");
    return;
  }
  if (!rapi_open_) {
    Log("session " + std::to_string(request) + ": the remote API did not open; closed");
    return;
  }
  if (sent != request)
    Log("wrong-session: session " + std::to_string(request) + " says " + std::to_string(sent));
  Log("session " + std::to_string(request) + " open");
  sessions_.push_back(
      std::make_unique<Session>(std::move(connection), request, calls_, options_, spoil_));
  if (second_info_due_) {
    second_info_due_ = false;
    Identity other = identity_;
    other.info.guid[15] ^= 0xFF;
    other.info.name = u"Other_PC";
    link::WireWriter out;
    const auto packet = link::BuildDeviceInfo(other.info);
    out.U32(link::kCtlInfo).U32(static_cast<std::uint32_t>(packet.size())).Bytes(packet);
    Log("second-info: another device info on the control connection");
    SendBytes(control_, out.bytes());
  }
  if (reconnect_due_) {
    reconnect_due_ = false;
    Reconnect();
  }
}

}  // namespace zp::handheld
