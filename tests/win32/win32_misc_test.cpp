// Tests of the Windows local time, last error, system error texts and text conversions.
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zp::test {
namespace {

// Wine's own error texts differ from those of Windows.
bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

std::int64_t Stamp(int year, int month, int day, int hour, int minute, int second) {
  return ((((std::int64_t{year} * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 +
         second;
}

std::int64_t Stamp(const SYSTEMTIME& t) {
  return Stamp(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

TEST(Win32Errors, FileNotFoundHasTheSystemText) {
  const auto text = SystemErrorText(kErrorFileNotFound);
  ASSERT_TRUE(text);
  if (UnderWine()) {
    EXPECT_EQ(*text, "File not found.\r\n");
  } else {
    EXPECT_EQ(*text, "The system cannot find the file specified.\r\n");
  }
  for (std::uint32_t code : {kErrorPathNotFound, kErrorAccessDenied, kErrorFileExists,
                             kErrorAlreadyExists, kErrorMoreData, kErrorNoMoreFiles}) {
    const auto other = SystemErrorText(code);
    ASSERT_TRUE(other) << code;
    EXPECT_NE(other, text) << code;
    EXPECT_EQ(other->substr(other->size() - 2), "\r\n") << code;
  }
}

TEST(Win32Errors, UnknownCodeHasNoTextAndKeepsTheLastError) {
  SetLastErrorCode(kErrorDiskFull);
  EXPECT_EQ(SystemErrorText(0x2FFFFFFF), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorDiskFull);
  ASSERT_TRUE(SystemErrorText(kErrorFileNotFound));
  EXPECT_EQ(LastErrorCode(), kErrorDiskFull);
}

TEST(Win32Errors, LastErrorIsTheSystemLastError) {
  SetLastErrorCode(kErrorDiskFull);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(kErrorDiskFull));
  ::SetLastError(ERROR_FILE_EXISTS);
  EXPECT_EQ(LastErrorCode(), kErrorFileExists);
}

TEST(Win32Clock, LocalNowIsTheLocalTime) {
  SYSTEMTIME before{}, after{};
  ::GetLocalTime(&before);
  const LocalTime now = LocalNow();
  ::GetLocalTime(&after);
  const std::int64_t stamp = Stamp(now.year, now.month, now.day, now.hour, now.minute, now.second);
  EXPECT_LE(Stamp(before), stamp);
  EXPECT_LE(stamp, Stamp(after));
}

TEST(Win32Text, AsciiRoundTripsThroughWidenAndNarrow) {
  std::string ascii;
  std::u16string wide;
  for (char c = 1; c < 0x7F; ++c) {
    ascii.push_back(c);
    wide.push_back(static_cast<char16_t>(c));
  }
  EXPECT_EQ(Widen(ascii), wide);
  EXPECT_EQ(Narrow(wide), ascii);
  EXPECT_EQ(Widen("\\My Documents\\Personal\\ZAMO\\Sync\\A.ARR"),
            u"\\My Documents\\Personal\\ZAMO\\Sync\\A.ARR");
  EXPECT_EQ(Narrow(u"ARR00002.ARR"), "ARR00002.ARR");
  EXPECT_EQ(Widen(""), u"");
  EXPECT_EQ(Narrow(u""), "");
  EXPECT_EQ(Widen(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));  // the whole length
  EXPECT_EQ(Narrow(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(Win32Text, WesternCodePageMapsItsOwnCharactersAndMarksOthers) {
  if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP();
  EXPECT_EQ(Widen("caf\xE9 \x80"), u"caf\u00E9 \u20AC");
  EXPECT_EQ(Narrow(u"caf\u00E9 \u20AC"), "caf\xE9 \x80");
  // No best fit: a letter the code page lacks is '?', not a look-alike.
  EXPECT_EQ(Narrow(u"\u0101.ARR"), "?.ARR");
  EXPECT_EQ(Narrow(u"\u4E00"), "?");
}

}  // namespace
}  // namespace zp::test
