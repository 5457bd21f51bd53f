// Points the desktop stand-in at a temporary folder for one test, with a
// fixed clock, and puts the environment back afterwards.
#pragma once

#include <optional>
#include <string>

#include "support/reg_text.h"
#include "support/temp_dir.h"

namespace zp::test {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

/// A desktop root in a temporary folder: drive c: exists, the clock reads
/// 2026-12-08 09:30:05.
class DesktopEnv {
 public:
  DesktopEnv();
  /// Over the desktop folder of a world (which owns it).
  explicit DesktopEnv(const std::string& root);
  const TempDir& dir() const { return dir_; }
  /// The host path of a Windows path's file below the root ("c/x.log").
  std::string Read(const std::string& relative) const { return dir_.Read(relative); }
  void Write(const std::string& relative, const std::string& bytes) const {
    dir_.Write(relative, bytes);
  }
  bool Exists(const std::string& relative) const { return dir_.Exists(relative); }
  /// Writes registry.reg with the given sections below the header.
  void SetRegistry(const std::string& body) const { WriteDesktopRegistry(dir_, body); }

 private:
  TempDir dir_;
  ScopedEnv root_;
  ScopedEnv clock_;
};

}  // namespace zp::test
