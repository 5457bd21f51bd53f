// The .reg texts of test worlds, written through the program's own .reg
// writer, and the one writer of the desktop stand-in's registry.reg.
#pragma once

#include <cstdint>
#include <string>

#include "platform/regfile.h"
#include "support/temp_dir.h"

namespace zp::test {

/// Keys and values in the order they are named, as sections of a .reg file.
class RegText {
 public:
  /// Narrow: the desktop's 8-bit strings; Wide: the handheld's UTF-16.
  explicit RegText(regfile::Strings strings = regfile::Strings::Narrow) : strings_(strings) {}

  /// The values that follow go into this key ("HKEY_LOCAL_MACHINE\Ident").
  RegText& Key(const std::string& path);
  RegText& String(const std::string& name, const std::string& value);
  RegText& Dword(const std::string& name, std::uint32_t value);

  /// The sections, without the file's header.
  std::string Sections() const;

 private:
  regfile::Strings strings_;
  regfile::Document doc_;
  std::string current_;
};

/// The desktop profile of a handheld: the Partners key of its id (as %08X)
/// with its "DisplayName".
RegText& AddProfile(RegText& text, std::uint32_t id, const std::string& display_name);

/// Writes registry.reg below a desktop root: the header, then `sections`.
void WriteDesktopRegistry(const TempDir& root, const std::string& sections);
/// The sections of a desktop root's registry.reg ("" when it is missing).
std::string DesktopRegistrySections(const TempDir& root);

/// The header regedit writes first.
std::string RegHeader();

}  // namespace zp::test
