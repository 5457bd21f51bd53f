#include "support/desktop_env.h"

#include <cstdlib>
#include <filesystem>

namespace zp::test {

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

DesktopEnv::DesktopEnv()
    : root_("ZAMOPOCKET_DESKTOP", dir_.path().string()),
      clock_("ZAMOPOCKET_CLOCK", "2026-12-08 09:30:05") {
  std::filesystem::create_directories(dir_.path() / "c");
}

DesktopEnv::DesktopEnv(const std::string& root)
    : dir_(root),
      root_("ZAMOPOCKET_DESKTOP", dir_.path().string()),
      clock_("ZAMOPOCKET_CLOCK", "2026-12-08 09:30:05") {
  std::filesystem::create_directories(dir_.path() / "c");
}

}  // namespace zp::test
