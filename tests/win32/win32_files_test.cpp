// Tests of the Windows desktop files, folders, listings, durable replacement and log stream.
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zp::test {
namespace {

constexpr std::uint32_t kSharingViolation = ERROR_SHARING_VIOLATION;  // not in platform.h

// Removes a folder and everything in it.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data{};
  const HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryA(folder.c_str());
}

// A fresh folder under the system's temporary folder, removed with its
// contents when the test ends.
class TempFolder {
 public:
  TempFolder() {
    char base[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof base, base);
    if (length == 0 || length > MAX_PATH) return;
    static unsigned counter = 0;
    const std::string prefix =
        std::string(base, length) + "zamopocket-" + std::to_string(::GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string candidate = prefix + std::to_string(++counter);
      if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
        path_ = candidate;
        return;
      }
      if (::GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
  }
  ~TempFolder() {
    if (!path_.empty()) RemoveTree(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool created() const { return !path_.empty(); }
  /// "<folder>\name"
  std::string operator/(std::string_view name) const { return path_ + "\\" + std::string(name); }

 private:
  std::string path_;
};

// Straight Win32 calls, so that a check never relies on the code under test.
bool WriteRaw(const std::string& path, std::string_view bytes) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  return ::CloseHandle(file) && ok;
}

std::optional<std::string> ReadRaw(const std::string& path) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes(1 << 16, '\0');
  DWORD read = 0;
  const bool ok = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  if (!ok) return std::nullopt;
  bytes.resize(read);
  return bytes;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Win32Files : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.created()); }

  // The Windows error of a failing open, or 0 when it opened.
  static std::uint32_t OpenError(const std::string& path, FileMode mode) {
    SetLastErrorCode(0);
    return OpenDesktopFile(path, mode) ? 0 : LastErrorCode();
  }

  // The names of a listing, sorted, so that tests do not depend on the order.
  static std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
    std::vector<std::string> names;
    for (const FindEntry& entry : entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  static const FindEntry* Entry(const std::vector<FindEntry>& entries, std::string_view name) {
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const FindEntry& e) { return e.name == name; });
    return it == entries.end() ? nullptr : &*it;
  }

  TempFolder dir;
};

// ---------------------------------------------------------------- opening files

TEST_F(Win32Files, CreateNewFailsWithFileExistsOnAFileOrAFolder) {
  ASSERT_TRUE(WriteRaw(dir / "taken.txt", "old"));
  ASSERT_TRUE(::CreateDirectoryA((dir / "folder").c_str(), nullptr));
  EXPECT_EQ(OpenError(dir / "taken.txt", FileMode::CreateNew), kErrorFileExists);
  EXPECT_EQ(ReadRaw(dir / "taken.txt"), "old");  // untouched
  EXPECT_EQ(OpenError(dir / "folder", FileMode::CreateNew), kErrorFileExists);

  EXPECT_EQ(OpenError(dir / "fresh.txt", FileMode::CreateNew), 0u);
  EXPECT_EQ(ReadRaw(dir / "fresh.txt"), "");
}

TEST_F(Win32Files, ReadExistingFailsOnAMissingFileWithoutCreatingIt) {
  EXPECT_EQ(OpenError(dir / "missing.txt", FileMode::ReadExisting), kErrorFileNotFound);
  EXPECT_FALSE(Exists(dir / "missing.txt"));
  EXPECT_EQ(OpenError(dir / "missing\\a.txt", FileMode::ReadExisting), kErrorPathNotFound);
  EXPECT_EQ(OpenError(dir / "missing\\a.txt", FileMode::CreateAlways), kErrorPathNotFound);
}

TEST_F(Win32Files, AWriterSharesOnlyReadingAndReadersExcludeWriters) {
  {
    File writer = OpenDesktopFile(dir / "a.txt", FileMode::CreateAlways);
    ASSERT_TRUE(writer);
    EXPECT_EQ(OpenError(dir / "a.txt", FileMode::CreateAlways), kSharingViolation);
    // A reader shares only reading, so it cannot join an open writer either.
    EXPECT_EQ(OpenError(dir / "a.txt", FileMode::ReadExisting), kSharingViolation);
  }
  File reader = OpenDesktopFile(dir / "a.txt", FileMode::ReadExisting);
  ASSERT_TRUE(reader);
  EXPECT_EQ(OpenError(dir / "a.txt", FileMode::ReadExisting), 0u);
  EXPECT_EQ(OpenError(dir / "a.txt", FileMode::CreateAlways), kSharingViolation);
}

TEST_F(Win32Files, WrittenBytesReadBackAndCreateAlwaysTruncates) {
  std::string bytes;
  for (int i = 0; i < 512; ++i) bytes.push_back(static_cast<char>(i & 0xFF));
  {
    File file = OpenDesktopFile(dir / "data.bin", FileMode::CreateAlways);
    ASSERT_TRUE(file);
    std::uint32_t put = 0;
    ASSERT_TRUE(file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), put));
    EXPECT_EQ(put, bytes.size());
    EXPECT_TRUE(file.Flush());
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file);
  }
  EXPECT_EQ(ReadRaw(dir / "data.bin"), bytes);

  File file = OpenDesktopFile(dir / "data.bin", FileMode::ReadExisting);
  ASSERT_TRUE(file);
  std::string back(1000, '\0');
  std::uint32_t got = 0;
  ASSERT_TRUE(file.Read(back.data(), 1000, got));
  EXPECT_EQ(got, bytes.size());
  back.resize(got);
  EXPECT_EQ(back, bytes);
  got = 99;
  EXPECT_TRUE(file.Read(back.data(), 10, got));  // the end of the file
  EXPECT_EQ(got, 0u);
  ASSERT_TRUE(file.Close());

  File again = OpenDesktopFile(dir / "data.bin", FileMode::CreateAlways);
  ASSERT_TRUE(again);
  std::uint32_t put = 0;
  ASSERT_TRUE(again.Write("x", 1, put));
  ASSERT_TRUE(again.Close());
  EXPECT_EQ(ReadRaw(dir / "data.bin"), "x");
}

TEST_F(Win32Files, HandlesKeepTheAccessOfTheirMode) {
  ASSERT_TRUE(WriteRaw(dir / "a.txt", "abc"));
  char buffer[4] = {};
  std::uint32_t count = 0;
  File writer = OpenDesktopFile(dir / "b.txt", FileMode::CreateAlways);
  ASSERT_TRUE(writer);
  SetLastErrorCode(0);
  EXPECT_FALSE(writer.Read(buffer, 4, count));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);

  File reader = OpenDesktopFile(dir / "a.txt", FileMode::ReadExisting);
  ASSERT_TRUE(reader);
  SetLastErrorCode(0);
  EXPECT_FALSE(reader.Write("x", 1, count));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  EXPECT_EQ(count, 0u);
}

TEST_F(Win32Files, AnEmptyFileFailsWithInvalidHandle) {
  File file;
  char buffer[4] = {};
  std::uint32_t count = 7;
  SetLastErrorCode(0);
  EXPECT_FALSE(file.Read(buffer, 4, count));
  EXPECT_EQ(LastErrorCode(), kErrorInvalidHandle);
  EXPECT_EQ(count, 0u);
  SetLastErrorCode(0);
  EXPECT_FALSE(file.Write(buffer, 4, count));
  EXPECT_EQ(LastErrorCode(), kErrorInvalidHandle);
  SetLastErrorCode(0);
  EXPECT_FALSE(file.Flush());
  EXPECT_EQ(LastErrorCode(), kErrorInvalidHandle);
  EXPECT_TRUE(file.Close());
}

TEST_F(Win32Files, MoveAssignmentClosesTheFileItReplaces) {
  File first = OpenDesktopFile(dir / "a.txt", FileMode::CreateAlways);
  ASSERT_TRUE(first);
  first = OpenDesktopFile(dir / "b.txt", FileMode::CreateAlways);
  ASSERT_TRUE(first);
  EXPECT_EQ(OpenError(dir / "a.txt", FileMode::CreateAlways), 0u);  // no longer held open
  EXPECT_EQ(OpenError(dir / "b.txt", FileMode::CreateAlways), kSharingViolation);
}

// ---------------------------------------------------------------- attributes, folders

TEST_F(Win32Files, PathInfoGivesTheSizeAndTheFolderBit) {
  ASSERT_TRUE(WriteRaw(dir / "data.bin", std::string(1234, 'z')));
  ASSERT_TRUE(::CreateDirectoryA((dir / "sub").c_str(), nullptr));

  const auto file = PathInfo(dir / "data.bin");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->size_low, 1234u);
  EXPECT_EQ(file->attributes & kAttributeDirectory, 0u);
  const auto folder = PathInfo(dir / "sub");
  ASSERT_TRUE(folder);
  EXPECT_NE(folder->attributes & kAttributeDirectory, 0u);
  SetLastErrorCode(0);
  EXPECT_EQ(PathInfo(dir / "missing"), std::nullopt);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
}

TEST_F(Win32Files, PathAttributesTellFilesFoldersAndMissingPaths) {
  ASSERT_TRUE(WriteRaw(dir / "data.bin", "a"));
  ASSERT_TRUE(::CreateDirectoryA((dir / "sub").c_str(), nullptr));

  const std::uint32_t file = PathAttributes(dir / "data.bin");
  EXPECT_NE(file, kInvalidAttributes);
  EXPECT_EQ(file & kAttributeDirectory, 0u);
  EXPECT_NE(PathAttributes(dir / "SUB") & kAttributeDirectory, 0u);  // names fold case
  SetLastErrorCode(0);
  EXPECT_EQ(PathAttributes(dir / "missing"), kInvalidAttributes);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  SetLastErrorCode(0);
  EXPECT_EQ(PathAttributes(dir / "missing\\a"), kInvalidAttributes);
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
}

TEST_F(Win32Files, MakeFolderTwiceFailsTheSecondTimeWithAlreadyExists) {
  ASSERT_TRUE(MakeFolder(dir / "FromPocket"));
  EXPECT_NE(::GetFileAttributesA((dir / "FromPocket").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  SetLastErrorCode(0);
  EXPECT_FALSE(MakeFolder(dir / "FromPocket"));
  EXPECT_EQ(LastErrorCode(), kErrorAlreadyExists);

  ASSERT_TRUE(WriteRaw(dir / "file", ""));
  SetLastErrorCode(0);
  EXPECT_FALSE(MakeFolder(dir / "file"));
  EXPECT_EQ(LastErrorCode(), kErrorAlreadyExists);
  SetLastErrorCode(0);
  EXPECT_FALSE(MakeFolder(dir / "missing\\FromPocket"));
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
}

TEST_F(Win32Files, RemoveFileDeletesFilesButNotFolders) {
  ASSERT_TRUE(WriteRaw(dir / "a.txt", "abc"));
  ASSERT_TRUE(::CreateDirectoryA((dir / "sub").c_str(), nullptr));
  EXPECT_TRUE(RemoveFile(dir / "a.txt"));
  EXPECT_FALSE(Exists(dir / "a.txt"));
  SetLastErrorCode(0);
  EXPECT_FALSE(RemoveFile(dir / "a.txt"));
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  SetLastErrorCode(0);
  EXPECT_FALSE(RemoveFile(dir / "sub"));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  EXPECT_TRUE(Exists(dir / "sub"));
}

// ---------------------------------------------------------------- folder flush

// The session flushes FromPocket and the folders it made: it must be able to
// on the drive's own file system, with or without the final backslash, and
// must hear of a folder that is not there (it would otherwise believe a name
// lasts that does not).
TEST_F(Win32Files, AFolderIsFlushedWithOrWithoutItsBackslashAndAMissingOneFails) {
  ASSERT_TRUE(MakeFolder(dir / "FromPocket"));
  ASSERT_TRUE(WriteRaw(dir / "FromPocket\\ARR00001.ARR", "array"));
  EXPECT_TRUE(FlushFolder(dir / "FromPocket\\")) << LastErrorCode();
  EXPECT_TRUE(FlushFolder(dir / "FromPocket")) << LastErrorCode();
  SetLastErrorCode(0);
  EXPECT_FALSE(FlushFolder(dir / "missing\\"));
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
}

// ---------------------------------------------------------------- durable replacement

TEST_F(Win32Files, ReplaceFileDurablyCreatesANewFileAndLeavesNoTemporaryFile) {
  const std::string target = dir / "registry.reg";
  ASSERT_TRUE(ReplaceFileDurably(target, "Windows Registry Editor Version 5.00\r\n"));
  EXPECT_EQ(ReadRaw(target), "Windows Registry Editor Version 5.00\r\n");
  const auto listing = FindFiles(dir / "*");
  EXPECT_EQ(Names(listing), std::vector<std::string>{"registry.reg"});
}

TEST_F(Win32Files, ReplaceFileDurablyReplacesTheWholeContents) {
  const std::string target = dir / "registry.reg";
  ASSERT_TRUE(WriteRaw(target, "old contents, longer than the new ones"));
  ASSERT_TRUE(WriteRaw(target + ".new", "left by an earlier crash"));
  ASSERT_TRUE(ReplaceFileDurably(target, "new"));
  EXPECT_EQ(ReadRaw(target), "new");
  EXPECT_FALSE(Exists(target + ".new"));
  ASSERT_TRUE(ReplaceFileDurably(target, ""));
  EXPECT_EQ(ReadRaw(target), "");
  EXPECT_EQ(Names(FindFiles(dir / "*")), std::vector<std::string>{"registry.reg"});
}

TEST_F(Win32Files, ReplaceFileDurablyFailsWithPathNotFoundWhenTheFolderIsMissing) {
  SetLastErrorCode(0);
  EXPECT_FALSE(ReplaceFileDurably(dir / "missing\\registry.reg", "x"));
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
  EXPECT_FALSE(Exists(dir / "missing"));
}

TEST_F(Win32Files, ReplaceFileDurablyOverAFolderFailsAndRemovesTheTemporaryFile) {
  const std::string target = dir / "registry.reg";
  ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
  SetLastErrorCode(0);
  EXPECT_FALSE(ReplaceFileDurably(target, "x"));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);  // the move's error, not the clean-up's
  EXPECT_NE(::GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(Exists(target + ".new"));
}

// ---------------------------------------------------------------- listings

TEST_F(Win32Files, FindFilesMatchesCaseInsensitivelyWithSizesAndFolderBits) {
  ASSERT_TRUE(WriteRaw(dir / "A.CLS", "abc"));
  ASSERT_TRUE(WriteRaw(dir / "b.cls", "abcde"));
  ASSERT_TRUE(WriteRaw(dir / "c.TMT", "t"));
  ASSERT_TRUE(::CreateDirectoryA((dir / "Sub.Cls").c_str(), nullptr));

  SetLastErrorCode(0);
  const auto entries = FindFiles(dir / "*.cls");
  EXPECT_EQ(LastErrorCode(), kErrorNoMoreFiles);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"A.CLS", "Sub.Cls", "b.cls"}));
  const FindEntry* a = Entry(entries, "A.CLS");
  const FindEntry* b = Entry(entries, "b.cls");
  const FindEntry* sub = Entry(entries, "Sub.Cls");
  ASSERT_TRUE(a && b && sub);
  EXPECT_EQ(a->size_low, 3u);
  EXPECT_FALSE(a->is_directory);
  EXPECT_EQ(b->size_low, 5u);
  EXPECT_FALSE(b->is_directory);
  EXPECT_TRUE(sub->is_directory);

  EXPECT_EQ(Names(FindFiles(dir / "?.tmt")), std::vector<std::string>{"c.TMT"});
}

TEST_F(Win32Files, ListFilesKeepsOnlyNamesThatMatchThemselvesNotByTheirShortNames) {
  ASSERT_TRUE(WriteRaw(dir / "S.TMT", "t"));
  ASSERT_TRUE(WriteRaw(dir / "notes.tmtx", "not a template"));
  // The system lists "notes.tmtx" for "*.TMT" by its short name "NOTES~1.TMT".
  EXPECT_EQ(Names(FindFiles(dir / "*.TMT")), (std::vector<std::string>{"S.TMT", "notes.tmtx"}));
  const auto listed = ListFiles(dir / "*.TMT");
  ASSERT_TRUE(listed);
  EXPECT_EQ(Names(*listed), std::vector<std::string>{"S.TMT"});
}

TEST_F(Win32Files, FindFilesNeverListsTheDotEntries) {
  ASSERT_TRUE(WriteRaw(dir / "a.txt", ""));
  ASSERT_TRUE(::CreateDirectoryA((dir / "sub").c_str(), nullptr));
  EXPECT_EQ(Names(FindFiles(dir / "*")), (std::vector<std::string>{"a.txt", "sub"}));
  EXPECT_EQ(Names(FindFiles(dir / "*.*")), (std::vector<std::string>{"a.txt", "sub"}));
  // An empty folder matches only "." and "..": as when nothing matches.
  SetLastErrorCode(0);
  EXPECT_TRUE(FindFiles(dir / "sub\\*").empty());
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
}

TEST_F(Win32Files, FindFilesWithNothingMatchingIsEmptyWithFileNotFound) {
  ASSERT_TRUE(WriteRaw(dir / "a.CLS", ""));
  SetLastErrorCode(0);
  EXPECT_TRUE(FindFiles(dir / "*.ARR").empty());
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  // A folder that cannot be listed: the system's own code.
  SetLastErrorCode(0);
  EXPECT_TRUE(FindFiles(dir / "missing\\*.ARR").empty());
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
}

// ---------------------------------------------------------------- log stream

TEST_F(Win32Files, AppendStreamAddsBytesUnchangedAtTheEnd) {
  const std::string log = dir / "zamopocket.log";
  ASSERT_TRUE(WriteRaw(log, "one\r\n"));
  {
    Stream stream = OpenAppendStream(log);
    ASSERT_TRUE(stream);
    std::fputs("two\n", stream.get());  // binary: no "\r" added
  }
  {
    Stream stream = OpenAppendStream(log);
    ASSERT_TRUE(stream);
    std::fputs("three", stream.get());
  }
  EXPECT_EQ(ReadRaw(log), "one\r\ntwo\nthree");

  SetLastErrorCode(0);
  EXPECT_FALSE(OpenAppendStream(dir / "missing\\zamopocket.log"));
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
}

}  // namespace
}  // namespace zp::test
