#include "support/reg_text.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/utf.h"

namespace zp::test {

RegText& RegText::Key(const std::string& path) {
  regfile::FindOrAddKey(doc_, path);
  current_ = path;
  return *this;
}

RegText& RegText::String(const std::string& name, const std::string& value) {
  std::vector<std::uint8_t> bytes;
  if (strings_ == regfile::Strings::Wide) {
    for (char16_t unit : utf::FromUtf8(value)) {
      bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
  } else {
    bytes.assign(value.begin(), value.end());
    bytes.push_back(0);
  }
  regfile::SetValue(regfile::FindOrAddKey(doc_, current_), name, 1, std::move(bytes));
  return *this;
}

RegText& RegText::Dword(const std::string& name, std::uint32_t value) {
  regfile::SetValue(
      regfile::FindOrAddKey(doc_, current_), name, 4,
      {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
       static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
  return *this;
}

std::string RegText::Sections() const {
  return regfile::Write(doc_, strings_).substr(RegHeader().size());
}

RegText& AddProfile(RegText& text, std::uint32_t id, const std::string& display_name) {
  char key[96];
  std::snprintf(key, sizeof key,
                "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\%08X", id);
  return text.Key(key).String("DisplayName", display_name);
}

std::string RegHeader() {
  return regfile::Write(regfile::Document{}, regfile::Strings::Narrow);
}

void WriteDesktopRegistry(const TempDir& root, const std::string& sections) {
  root.Write("registry.reg", RegHeader() + sections);
}

std::string DesktopRegistrySections(const TempDir& root) {
  const std::string all = root.Read("registry.reg");
  return all.starts_with(RegHeader()) ? all.substr(RegHeader().size()) : all;
}

}  // namespace zp::test
