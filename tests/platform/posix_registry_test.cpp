#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/regfile.h"
#include "platform/settings_lock.h"
#include "support/desktop_env.h"

namespace zp {
namespace {

constexpr const char* kZamo = "Software\\Brenok\\ZAMO";

class PosixRegistry : public testing::Test {
 protected:
  test::DesktopEnv env;
};

TEST_F(PosixRegistry, StringReadsKeepTheByteLimitAndTerminate) {
  const std::string fits(260, 'p');
  std::string hex_fits, hex_long;  // REG_SZ bytes without a terminator
  for (int i = 0; i < 260; ++i) hex_fits += "61,";
  hex_long = hex_fits + "61";
  hex_fits.pop_back();
  env.SetRegistry(
      "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\r\n"
      "\"Fits\"=\"" +
      fits +
      "\"\r\n"
      "\"TooLong\"=\"" +
      fits +
      "p\"\r\n"
      "\"HexFits\"=hex(1):" +
      hex_fits +
      "\r\n"
      "\"HexTooLong\"=hex(1):" +
      hex_long +
      "\r\n"
      "\"Cut\"=hex(1):61,00,62,00\r\n"
      "\"Number\"=dword:00000041\r\n");
  const RegKey key = RegOpen(Hive::LocalMachine, "software\\BRENOK\\zamo", RegAccess::Read);
  ASSERT_TRUE(key);
  EXPECT_EQ(RegQueryString(key, "pathsync", 261), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  EXPECT_EQ(RegQueryString(key, "Fits", 261), fits);
  EXPECT_EQ(RegQueryString(key, "TooLong", 261), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorMoreData);
  EXPECT_EQ(RegQueryString(key, "HexFits", 261), std::string(260, 'a'));
  EXPECT_EQ(RegQueryString(key, "HexTooLong", 261), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorMoreData);
  EXPECT_EQ(RegQueryString(key, "Cut", 4), "a");
  EXPECT_EQ(RegQueryString(key, "Number", 4), "A");  // the type is not tested

  EXPECT_EQ(RegQuery(key, "Number", 3), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorMoreData);
  const auto number = RegQuery(key, "NUMBER", 4);
  ASSERT_TRUE(number);
  EXPECT_EQ(number->type, kRegDword);
  EXPECT_EQ(number->bytes, (std::vector<std::uint8_t>{0x41, 0, 0, 0}));
}

TEST_F(PosixRegistry, OpensOnlyKeysThatExist) {
  env.SetRegistry(
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\0000ABCD]\r\n"
      "\"DisplayName\"=\"Pocket\"\r\n");
  const std::string before = env.Read("registry.reg");
  EXPECT_TRUE(RegOpen(Hive::CurrentUser, "Software\\Microsoft\\Windows CE Services\\Partners",
                      RegAccess::Read));
  EXPECT_FALSE(RegOpen(Hive::LocalMachine, "Software\\Microsoft\\Windows CE Services\\Partners",
                       RegAccess::Read));
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  EXPECT_FALSE(RegOpen(Hive::CurrentUser, "Software\\Micro", RegAccess::Read));
  EXPECT_FALSE(RegOpen(Hive::CurrentUser, kZamo, RegAccess::ReadWrite));
  // Opening writes nothing: the file is as it was, and nothing is left beside it.
  EXPECT_EQ(env.Read("registry.reg"), before);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(env.dir().path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"c", "registry.reg"}));
}

TEST_F(PosixRegistry, SetStringRewritesTheFileAndKeepsOtherWrites) {
  env.SetRegistry("[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\r\n\"Other\"=hex(7):61,00,00\r\n");
  const RegKey read_only = RegOpen(Hive::LocalMachine, kZamo, RegAccess::Read);
  EXPECT_FALSE(RegSetString(read_only, "PathSync", "x"));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);

  const RegKey first = RegOpen(Hive::LocalMachine, kZamo, RegAccess::ReadWrite);
  const RegKey second = RegOpen(Hive::LocalMachine, kZamo, RegAccess::ReadWrite);
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(RegSetString(first, "PathSync", "c:\\ZAMO\\"));
  ASSERT_TRUE(RegSetString(second, "InstallID", "42"));  // must not drop PathSync
  EXPECT_EQ(RegQueryString(first, "PathSync", 261), "c:\\ZAMO\\");

  const RegKey again = RegOpen(Hive::LocalMachine, kZamo, RegAccess::Read);
  const auto path = RegQuery(again, "PathSync", 100);
  ASSERT_TRUE(path);
  EXPECT_EQ(path->type, kRegSz);
  EXPECT_EQ(path->bytes, (std::vector<std::uint8_t>{'c', ':', '\\', 'Z', 'A', 'M', 'O', '\\', 0}));
  EXPECT_EQ(RegQueryString(again, "InstallID", 3), "42");
  EXPECT_EQ(RegQuery(again, "Other", 3)->type, kRegMultiSz);
  // c/ and the settings lock beside the registry: no stray copy of it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(env.dir().path()), {}), 3);
}

// Sessions of several handhelds write the one registry file at once: each
// write reads the file again under the settings lock, and a read-change-
// write of a list under that lock keeps every other session's change.
TEST_F(PosixRegistry, WritesOfSessionsAtOnceNeverUndoEachOther) {
  env.SetRegistry("[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO]\r\n\"List\"=\"\"\r\n");
  constexpr int kWriters = 4;
  constexpr int kWrites = 15;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kWrites; ++i) {
        const std::string mine = std::to_string(w) + "." + std::to_string(i);
        const RegKey key = RegCreate(Hive::CurrentUser, kZamo);
        ok = ok && RegSetString(key, "V" + mine, mine);
        const SettingsLock lock;  // the list: read, changed and written under it
        const RegKey again = RegOpen(Hive::CurrentUser, kZamo, RegAccess::ReadWrite);
        const auto list = RegQueryString(again, "List", 4096);
        ok = ok && lock && list && RegSetString(again, "List", *list + mine + ",");
      }
      ::_exit(ok ? 0 : 1);
    }
    writers.push_back(pid);
  }
  for (const pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const RegKey key = RegOpen(Hive::CurrentUser, kZamo, RegAccess::Read);
  const auto list = RegQueryString(key, "List", 4096);
  ASSERT_TRUE(list);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kWrites; ++i) {
      const std::string mine = std::to_string(w) + "." + std::to_string(i);
      EXPECT_EQ(RegQueryString(key, "V" + mine, 16), mine);
      EXPECT_NE(("," + *list).find("," + mine + ","), std::string::npos)
          << mine << " lost from " << *list;
    }
  }
}

TEST_F(PosixRegistry, SetStringRefusesAFileItCannotReadWhole) {
  const std::string before =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\r\n"
      "\"Path\"=\"c:\\ZAMO\"\r\n";  // a lone backslash: not a line this program reads
  env.Write("registry.reg", before);
  testing::internal::CaptureStderr();
  const RegKey key = RegOpen(Hive::LocalMachine, kZamo, RegAccess::ReadWrite);
  ASSERT_TRUE(key);
  EXPECT_FALSE(RegSetString(key, "PathSync", "c:\\"));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("registry.reg:4: cannot read: \"Path\"=\"c:\\ZAMO\""), std::string::npos);
  EXPECT_EQ(env.Read("registry.reg"), before);
}

TEST_F(PosixRegistry, AKeyIsMadeByItsFirstValueAndTheFileKeepsWhoMayReadIt) {
  env.SetRegistry("[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC]\r\n");
  const std::string file = (env.dir().path() / "registry.reg").string();
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);  // it holds the desktop password
  const std::string devices = "Software\\Brenok\\ZAMO\\PocketPC\\Devices";
  EXPECT_FALSE(RegOpen(Hive::CurrentUser, devices, RegAccess::Read));
  const RegKey made = RegCreate(Hive::CurrentUser, devices);
  ASSERT_TRUE(made);
  ASSERT_TRUE(RegSetString(made, "Field", "{00000042-0000-0000-0000-000000000000}"));
  const RegKey opened = RegOpen(Hive::CurrentUser, devices, RegAccess::Read);
  ASSERT_TRUE(opened);
  EXPECT_EQ(RegQueryString(opened, "FIELD", 64), "{00000042-0000-0000-0000-000000000000}");
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 0777, 0600u);
}

TEST_F(PosixRegistry, ANameThatWouldBreakTheFileIsRefusedAndANewFileIsPrivate) {
  const std::string file = (env.dir().path() / "registry.reg").string();
  std::filesystem::remove(file);
  const RegKey key = RegCreate(Hive::CurrentUser, kZamo);
  ASSERT_TRUE(key);
  // A device's name as a value name: its line break would add a key.
  EXPECT_FALSE(RegSetString(key, "Evil\n[HKEY_CURRENT_USER]\n@=dword:00000001\n", "x"));
  EXPECT_EQ(LastErrorCode(), kErrorInvalidName);
  EXPECT_FALSE(RegSetString(RegCreate(Hive::CurrentUser, "Software\\A\rB"), "Name", "x"));
  ASSERT_TRUE(RegSetString(key, "Name", "line one\r\nline two"));
  struct stat made {};
  ASSERT_EQ(::stat(file.c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0600u);
  bool complete = false;
  const auto doc = regfile::Load(file, regfile::Strings::Narrow, &complete);
  ASSERT_TRUE(doc);
  EXPECT_TRUE(complete) << env.Read("registry.reg");
  EXPECT_EQ(doc->keys.size(), 1u);
  EXPECT_EQ(RegQueryString(RegOpen(Hive::CurrentUser, kZamo, RegAccess::Read), "Name", 64),
            "line one\r\nline two");
}

}  // namespace
}  // namespace zp
