// Tests of the Windows desktop registry against the real registry of the machine (or of Wine).
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zp::test {
namespace {

constexpr const char* kTestsKey = "Software\\zamopocket-tests";

// A fresh key HKEY_CURRENT_USER\Software\zamopocket-tests\<unique>, deleted
// with everything in it when the test ends.
class ScratchKey {
 public:
  ScratchKey() {
    static unsigned counter = 0;
    subkey_ = std::string(kTestsKey) + "\\" + std::to_string(::GetCurrentProcessId()) + "-" +
              std::to_string(::GetTickCount()) + "-" + std::to_string(++counter);
    DWORD disposition = 0;
    status_ =
        ::RegCreateKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key_, &disposition);
    if (status_ == ERROR_SUCCESS && disposition != REG_CREATED_NEW_KEY) status_ = ERROR_FILE_EXISTS;
  }
  ~ScratchKey() {
    if (key_) ::RegCloseKey(key_);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, subkey_.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey);  // only succeeds once it is empty
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  bool created() const { return status_ == ERROR_SUCCESS; }
  const std::string& subkey() const { return subkey_; }

  bool Set(const char* name, DWORD type, std::string_view bytes) {
    return ::RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  }

  // The value as stored, read straight from the registry; its type in `type`.
  std::optional<std::string> Raw(const char* name, DWORD& type) const {
    std::string bytes(1024, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    if (::RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                           &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
  }

 private:
  std::string subkey_;
  HKEY key_ = nullptr;
  LSTATUS status_ = ERROR_INVALID_FUNCTION;
};

class Win32Registry : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch.created()) << scratch.subkey(); }

  RegKey Open(RegAccess access) const {
    return RegOpen(Hive::CurrentUser, scratch.subkey(), access);
  }

  ScratchKey scratch;
};

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

// One key of the local machine in one view (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY), deleted with its values when the test ends.
class ViewKey {
 public:
  ViewKey(const char* subkey, REGSAM view) : subkey_(subkey), view_(view) {
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey_, 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr,
                      &key_, nullptr);
  }
  ~ViewKey() {
    if (key_) ::RegCloseKey(key_);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey_, view_, 0);
  }
  ViewKey(const ViewKey&) = delete;
  ViewKey& operator=(const ViewKey&) = delete;

  bool Set(const char* name, const std::string& text) {
    return key_ &&
           ::RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  }

 private:
  const char* subkey_;
  REGSAM view_;
  HKEY key_ = nullptr;
};

// The 64-bit program finds the settings the 32-bit program and package keep
// (in the 32-bit view), never a value of the 64-bit view alone.
TEST(Win32RegistryView, TheSettingsAreReadFromThe32BitViewOnly) {
  constexpr char kKey[] = "Software\\zamopocket-tests-view";
  ViewKey narrow(kKey, KEY_WOW64_32KEY);
  ViewKey wide(kKey, KEY_WOW64_64KEY);
  ASSERT_TRUE(narrow.Set("PathSync", "D:\\Field\\"));
  ASSERT_TRUE(wide.Set("PathSync", "C:\\Wrong\\"));
  ASSERT_TRUE(wide.Set("OnlyWide", "x"));
  const RegKey key = RegOpen(Hive::LocalMachine, kKey, RegAccess::ReadWrite);
  ASSERT_TRUE(key);
  EXPECT_EQ(RegQueryString(key, "PathSync", 261), "D:\\Field\\");
  EXPECT_FALSE(RegQueryString(key, "OnlyWide", 261));
  ASSERT_TRUE(RegSetString(key, "Written", "y"));
  ASSERT_TRUE(narrow.Set("Probe", "z"));  // the key is still there
  HKEY check = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_32KEY, &check),
            ERROR_SUCCESS);
  EXPECT_EQ(::RegQueryValueExA(check, "Written", nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(check);
}

TEST_F(Win32Registry, QueryReturnsAValueExactlyAtTheLimitAndNothingOneByteOver) {
  ASSERT_TRUE(scratch.Set("Blob", REG_BINARY, std::string_view("\x01\x02\x00\x04", 4)));
  const RegKey key = Open(RegAccess::Read);
  ASSERT_TRUE(key);

  const auto fits = RegQuery(key, "Blob", 4);
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->type, kRegBinary);
  EXPECT_EQ(fits->bytes, Bytes(std::string_view("\x01\x02\x00\x04", 4)));
  const auto roomy = RegQuery(key, "blob", 100);  // names fold case
  ASSERT_TRUE(roomy);
  EXPECT_EQ(roomy->bytes.size(), 4u);

  SetLastErrorCode(0);
  EXPECT_EQ(RegQuery(key, "Blob", 3), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorMoreData);
}

TEST_F(Win32Registry, QueryReportsTheTypeWithoutEnforcingIt) {
  ASSERT_TRUE(scratch.Set("Number", REG_DWORD, std::string_view("\x41\x00\x00\x00", 4)));
  ASSERT_TRUE(scratch.Set("Text", REG_SZ, std::string_view("ab\0", 3)));
  const RegKey key = Open(RegAccess::Read);
  ASSERT_TRUE(key);

  const auto number = RegQuery(key, "Number", 4);
  ASSERT_TRUE(number);
  EXPECT_EQ(number->type, kRegDword);
  EXPECT_EQ(number->bytes, (std::vector<std::uint8_t>{0x41, 0, 0, 0}));
  EXPECT_EQ(RegQueryString(key, "Number", 4), "A");

  const auto text = RegQuery(key, "Text", 3);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->type, kRegSz);
  EXPECT_EQ(text->bytes, Bytes(std::string_view("ab\0", 3)));
}

TEST_F(Win32Registry, StringReadsNeedRoomForTheTerminator) {
  ASSERT_TRUE(scratch.Set("Stored", REG_SZ, std::string_view("abcd\0", 5)));
  ASSERT_TRUE(scratch.Set("Bare", REG_BINARY, "abcd"));  // no terminator stored
  ASSERT_TRUE(scratch.Set("Cut", REG_BINARY, std::string_view("a\0b\0", 4)));
  const RegKey key = Open(RegAccess::Read);
  ASSERT_TRUE(key);

  EXPECT_EQ(RegQueryString(key, "Stored", 5), "abcd");
  SetLastErrorCode(0);
  EXPECT_EQ(RegQueryString(key, "Stored", 4), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorMoreData);

  EXPECT_TRUE(RegQuery(key, "Bare", 4));  // the bytes fit...
  SetLastErrorCode(0);
  EXPECT_EQ(RegQueryString(key, "Bare", 4), std::nullopt);  // ...but not the terminator
  EXPECT_EQ(LastErrorCode(), kErrorMoreData);
  EXPECT_EQ(RegQueryString(key, "Bare", 5), "abcd");

  EXPECT_EQ(RegQueryString(key, "Cut", 4), "a");  // the text ends at the first NUL
}

TEST_F(Win32Registry, MissingValuesAndKeysGiveNothingWithFileNotFound) {
  const RegKey key = Open(RegAccess::Read);
  ASSERT_TRUE(key);
  SetLastErrorCode(0);
  EXPECT_EQ(RegQuery(key, "Missing", 100), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  SetLastErrorCode(0);
  EXPECT_EQ(RegQueryString(key, "Missing", 100), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);

  SetLastErrorCode(0);
  EXPECT_FALSE(RegOpen(Hive::CurrentUser, scratch.subkey() + "\\Missing", RegAccess::Read));
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  EXPECT_FALSE(RegOpen(Hive::LocalMachine, scratch.subkey(), RegAccess::Read));
  // Opening never creates the key.
  EXPECT_FALSE(RegOpen(Hive::CurrentUser, scratch.subkey() + "\\Missing", RegAccess::ReadWrite));
  EXPECT_FALSE(RegOpen(Hive::CurrentUser, scratch.subkey() + "\\Missing", RegAccess::Read));
}

TEST_F(Win32Registry, SetStringStoresTheTextWithItsTerminator) {
  const RegKey key = Open(RegAccess::ReadWrite);
  ASSERT_TRUE(key);
  ASSERT_TRUE(RegSetString(key, "InstallID", "1a2b3c4d"));
  ASSERT_TRUE(RegSetString(key, "Empty", ""));

  DWORD type = 0;
  EXPECT_EQ(scratch.Raw("InstallID", type), std::string("1a2b3c4d", 9));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(scratch.Raw("Empty", type), std::string(1, '\0'));
  EXPECT_EQ(RegQueryString(key, "InstallID", 9), "1a2b3c4d");

  // Writing again replaces the whole value.
  ASSERT_TRUE(RegSetString(key, "InstallID", "7"));
  EXPECT_EQ(scratch.Raw("InstallID", type), std::string("7", 2));
}

TEST_F(Win32Registry, ReadOnlyKeyRefusesSetStringWithAccessDenied) {
  const RegKey key = Open(RegAccess::Read);
  ASSERT_TRUE(key);
  SetLastErrorCode(0);
  EXPECT_FALSE(RegSetString(key, "InstallID", "1a2b3c4d"));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  DWORD type = 0;
  EXPECT_EQ(scratch.Raw("InstallID", type), std::nullopt);
}

TEST_F(Win32Registry, MovedKeyStaysOpenAndAnEmptyKeyFailsWithInvalidHandle) {
  ASSERT_TRUE(scratch.Set("Text", REG_SZ, std::string_view("ok\0", 3)));
  RegKey first = Open(RegAccess::ReadWrite);
  ASSERT_TRUE(first);
  RegKey second = std::move(first);
  EXPECT_FALSE(first);  // a moved-from key is empty
  EXPECT_EQ(RegQueryString(second, "Text", 3), "ok");

  SetLastErrorCode(0);
  EXPECT_EQ(RegQuery(first, "Text", 3), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorInvalidHandle);
  SetLastErrorCode(0);
  EXPECT_FALSE(RegSetString(first, "Text", "x"));
  EXPECT_EQ(LastErrorCode(), kErrorInvalidHandle);
}

}  // namespace
}  // namespace zp::test
