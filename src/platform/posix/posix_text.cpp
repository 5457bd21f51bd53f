// Desktop text of the POSIX stand-in: UTF-8, converted to and from UTF-16.
#include "platform/platform.h"
#include "platform/utf.h"

namespace zp {

std::u16string Widen(std::string_view text) {
  return utf::FromUtf8(text);
}

std::string Narrow(std::u16string_view text) {
  return utf::ToUtf8(text);
}

}  // namespace zp
