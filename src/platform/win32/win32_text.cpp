// Desktop text on Windows: the ANSI code page, converted to and from UTF-16.
#include "platform/win32/windows_api.h"

#include <limits>

#include "platform/platform.h"

namespace zp {
namespace {

// The conversions take int lengths.
bool FitsInt(std::size_t size) {
  if (size <= static_cast<std::size_t>(std::numeric_limits<int>::max())) return true;
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

std::u16string Widen(std::string_view text) {
  if (text.empty() || !FitsInt(text.size())) return {};
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  const int made = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length,
                                         reinterpret_cast<LPWSTR>(wide.data()), needed);
  wide.resize(static_cast<std::size_t>(made > 0 ? made : 0));
  return wide;
}

std::string Narrow(std::u16string_view text) {
  if (text.empty() || !FitsInt(text.size())) return {};
  const int length = static_cast<int>(text.size());
  const auto* wide = reinterpret_cast<LPCWSTR>(text.data());
  // No best fit: a character the code page lacks becomes the default
  // character ('?'), never a look-alike ("a" for "ā") that could name
  // another file. A UTF-8 code page takes no such flag.
  const DWORD flags = ::GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int needed =
      ::WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  const int made =
      ::WideCharToMultiByte(CP_ACP, flags, wide, length, narrow.data(), needed, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(made > 0 ? made : 0));
  return narrow;
}

}  // namespace zp
