// An older handheld's info packet from its identity and device.reg.
#include "simulator/handheld/legacy_identity.h"

#include <filesystem>

#include "link/legacy_protocol.h"
#include "platform/regfile.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

std::optional<link::LegacyInfo> LoadLegacyInfo(const Options& options, const Identity& identity,
                                               std::string& problem) {
  const std::uint32_t key = identity.info.lock_key;
  // The first word the handheld sends is classified by its value: a
  // challenge must be none of the others.
  if (key != 0 && (key <= link::kLegacyMostInfo || key == link::kLegacyPing)) {
    problem = "the lock key " + Hex(key) +
              " cannot be the older link's password challenge: it must be 0 (no lock), or "
              "0x200 or more and not 0x12345678";
    return std::nullopt;
  }
  const std::string file = (std::filesystem::path(options.world) / "device.reg").string();
  const auto doc = regfile::Load(file, regfile::Strings::Wide);
  if (!doc) {
    problem = "cannot read " + file;
    return std::nullopt;
  }
  const auto dword = [&](std::string_view name, std::uint32_t usual) {
    return sim::ReadDword(*doc, sim::kIdentKey, name).value_or(usual);
  };
  link::LegacyInfo info;
  info.os_major = static_cast<std::uint8_t>(dword("OsMajor", kLegacyOsMajor));
  info.os_minor = static_cast<std::uint8_t>(dword("OsMinor", kLegacyOsMinor));
  info.build = static_cast<std::uint16_t>(dword("OsBuild", kLegacyOsBuild));
  info.processor_type = static_cast<std::uint16_t>(identity.info.processor_type);
  info.partner_id = identity.info.partner_id;
  info.name = identity.info.name;
  info.platform = u"PocketPC";
  info.model = u"Simulated";
  const std::size_t size = link::BuildLegacyInfo(info).size();
  if (size > link::kLegacyMostInfo) {
    problem = "the name is too long for the older link's info packet (" + std::to_string(size) +
              " bytes; at most " + std::to_string(link::kLegacyMostInfo) + ")";
    return std::nullopt;
  }
  return info;
}

}  // namespace zp::handheld
