// Masking the desktop password.
#include "link/password_mask.h"

#include "link/wire.h"
#include "platform/platform.h"

namespace zp::link {

std::vector<std::uint8_t> MaskedPassword(const std::string& password, std::uint8_t key,
                                         bool with_nul) {
  const std::u16string text = Widen(password) + (with_nul ? std::u16string(1, u'\0') : u"");
  WireWriter out;
  out.U16(static_cast<std::uint16_t>(text.size() * 2));
  for (const char16_t unit : text) {
    out.U8(static_cast<std::uint8_t>((unit & 0xFF) ^ key));
    out.U8(static_cast<std::uint8_t>((unit >> 8) ^ key));
  }
  return std::move(out.bytes());
}

}  // namespace zp::link
