// zp-handheld: a handheld on the network, serving a simulated handheld's
// folder, for tests: a Windows Mobile 5+ one, an older one (--legacy), or
// the serial line's text exchange alone (--chat-tty). See --help.
#include <cstdio>
#include <string>

#include "simulator/handheld/chat.h"
#include "simulator/handheld/handheld.h"
#include "simulator/handheld/identity.h"
#include "simulator/handheld/legacy_handheld.h"
#include "simulator/handheld/legacy_identity.h"
#include "simulator/handheld/link_io.h"
#include "simulator/handheld/options.h"

int main(int argc, char** argv) {
  using namespace zp::handheld;
  Options options;
  std::string problem;
  switch (ParseOptions(argc, argv, options, problem)) {
    case Parsed::Help:
      std::fputs(HelpText().c_str(), stdout);
      return kExitEnded;
    case Parsed::Bad:
      Log(problem + " (--help lists the options)");
      return kExitUsage;
    case Parsed::Run:
      break;
  }
  CatchStop();
  if (!options.chat_tty.empty()) return RunChat(options);
  auto identity = LoadIdentity(options, problem);
  if (!identity) {
    Log(problem);
    return kExitUsage;
  }
  if (options.legacy) {
    auto info = LoadLegacyInfo(options, *identity, problem);
    if (!info) {
      Log(problem);
      return kExitUsage;
    }
    LegacyHandheld handheld(std::move(options), std::move(*identity), std::move(*info));
    return handheld.Run();
  }
  Handheld handheld(std::move(options), std::move(*identity));
  return handheld.Run();
}
