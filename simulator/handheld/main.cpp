// zp-handheld: a Windows Mobile 5+ handheld on the network, serving a
// simulated handheld's folder, for tests. See --help.
#include <cstdio>
#include <string>

#include "simulator/handheld/handheld.h"
#include "simulator/handheld/identity.h"
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
  auto identity = LoadIdentity(options, problem);
  if (!identity) {
    Log(problem);
    return kExitUsage;
  }
  CatchStop();
  Handheld handheld(std::move(options), std::move(*identity));
  return handheld.Run();
}
