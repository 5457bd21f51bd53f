// The desktop operating system as the program uses it: registry, files,
// folders, the log stream, local time, error codes and the yes/no question.
// One implementation is linked in: posix/ (the stand-in) or win32/.
//
// The names here are never those of a Win32 function or macro, so that a
// Win32 implementation can include <windows.h> beside this header.
//
// Paths are Windows paths ("c:\ZAMO\Dev\FromPocket\") in the desktop code
// page. Every failing call sets the thread's last error to a Windows error
// code, as the real calls do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

/// MAX_PATH: the buffer of every composed path, terminator included.
inline constexpr std::size_t kMaxPath = 260;

// Windows values the program relies on.
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Windows error codes set as last error by the stand-ins.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorWriteFault = 29;
inline constexpr std::uint32_t kErrorReadFault = 30;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorNotConnected = 2250;

// ---------------------------------------------------------------- registry

enum class Hive { LocalMachine, CurrentUser };
enum class RegAccess { Read, ReadWrite };

/// An open desktop registry key; closed when it goes out of scope.
class RegKey {
 public:
  struct Impl;
  RegKey() noexcept;
  explicit RegKey(std::unique_ptr<Impl> impl) noexcept;
  RegKey(RegKey&&) noexcept;
  RegKey& operator=(RegKey&&) noexcept;
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  explicit operator bool() const noexcept { return impl_ != nullptr; }
  Impl* impl() const noexcept { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};

/// RegOpenKeyExA: an empty key when the key does not exist or cannot be
/// opened with the access asked for. Never creates a key.
RegKey RegOpen(Hive hive, std::string_view subkey, RegAccess access);

/// RegCreateKeyExA with read-write access: the key, made when missing. An
/// empty key when it can be neither opened nor made.
RegKey RegCreate(Hive hive, std::string_view subkey);

/// A value as it is stored: its type and its bytes.
struct RegData {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
};

/// RegQueryValueExA with a buffer of `limit` bytes: nothing when the value
/// is missing or does not fit (the type is reported, never enforced).
std::optional<RegData> RegQuery(const RegKey& key, std::string_view name, std::size_t limit);

/// RegSetValueExA with REG_SZ and length = size + 1 (the NUL included).
/// False when the value could not be written.
bool RegSetString(const RegKey& key, std::string_view name, std::string_view value);

/// A string value read into a buffer of `limit` bytes and always terminated
/// inside it: nothing when the value is missing, or when its text and a
/// terminator do not fit. The text ends at the first NUL. Type not tested.
std::optional<std::string> RegQueryString(const RegKey& key, std::string_view name,
                                          std::size_t limit);

// ---------------------------------------------------------------- files

enum class FileMode {
  ReadExisting,  ///< GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
  CreateAlways,  ///< GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS
  CreateNew,     ///< GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW
};

/// An open desktop file; closed when it goes out of scope.
class File {
 public:
  struct Impl;
  File() noexcept;
  explicit File(std::unique_ptr<Impl> impl) noexcept;
  File(File&&) noexcept;
  File& operator=(File&&) noexcept;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  explicit operator bool() const noexcept { return impl_ != nullptr; }

  /// ReadFile: false on failure; `got` is 0 at the end of the file.
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got);
  /// WriteFile: false on failure; `put` tells how much was written.
  bool Write(const void* buffer, std::uint32_t size, std::uint32_t& put);
  /// FlushFileBuffers: the bytes written are on stable storage (the file's
  /// name is made to last by a durable RenameFile).
  bool Flush();
  /// CloseHandle now; false when the close reported an error.
  bool Close();

 private:
  std::unique_ptr<Impl> impl_;
};

/// CreateFileA. An empty File on failure (last error set). CreateNew fails
/// with ERROR_FILE_EXISTS when the name is taken by a file or a folder.
File OpenDesktopFile(const std::string& path, FileMode mode);

/// GetFileAttributesA: kInvalidAttributes when the path does not exist.
std::uint32_t PathAttributes(const std::string& path);

/// GetFileAttributesExA: attributes and the low 32 bits of the size.
struct FileInfo {
  std::uint32_t attributes = 0;
  std::uint32_t size_low = 0;
};
std::optional<FileInfo> PathInfo(const std::string& path);

/// CreateDirectoryA: false when it exists already or cannot be made.
bool MakeFolder(const std::string& path);

/// DeleteFileA.
bool RemoveFile(const std::string& path);

/// MoveFileExA without MOVEFILE_REPLACE_EXISTING: renames a file, never over
/// an existing name (then false, last error ERROR_ALREADY_EXISTS or
/// ERROR_FILE_EXISTS). `durable`: the new name is on stable storage when it
/// returns (MOVEFILE_WRITE_THROUGH; the folder flushed on POSIX).
bool RenameFile(const std::string& from, const std::string& to, bool durable);

/// FlushFileBuffers on the folder (a handle opened with
/// FILE_FLAG_BACKUP_SEMANTICS): the names created, renamed or removed in
/// it are on stable storage when it returns. A file's flush makes its data
/// last, not its name; a new folder's name lasts once the folder holding it
/// is flushed. False (last error set) when the folder cannot be flushed.
bool FlushFolder(const std::string& path);

/// Replaces the whole contents of a file so that a crash leaves either the
/// old contents or the new, never a mix: a temporary file beside it is
/// written and flushed, then renamed over it (and, where the system needs
/// it, the folder flushed too). `native_path` is a path of the machine the
/// program runs on, as its own C library takes it (never a stand-in drive).
bool ReplaceFileDurably(const std::string& native_path, std::string_view contents);

/// One entry of a wildcard listing (FindFirstFileA / FindNextFileA).
struct FindEntry {
  std::string name;
  std::uint32_t size_low = 0;
  bool is_directory = false;
};

/// What a listing must tell of each entry.
enum class FindDetail {
  Sizes,      ///< name, kind and size, in the platform's order
  NamesOnly,  ///< name and kind (size_low 0), in no set order: a large folder
              ///< then costs no status read per file where the system
              ///< tells the kind with the name
};

/// Every entry matching the pattern ("c:\dir\*.CLS"), case-insensitive;
/// "." and ".." are never listed. Empty when nothing matches or the folder
/// cannot be listed; the last error then tells which, as after
/// FindFirstFileA: ERROR_FILE_NOT_FOUND (or ERROR_NO_MORE_FILES after a
/// listing) when nothing matched, any other code when the folder could not
/// be listed.
std::vector<FindEntry> FindFiles(const std::string& pattern, FindDetail detail = FindDetail::Sizes);

/// FindFiles, nothing when the folder could not be listed (last error kept).
std::optional<std::vector<FindEntry>> ListFiles(const std::string& pattern,
                                                FindDetail detail = FindDetail::Sizes);

// ---------------------------------------------------------------- locks between sessions

/// A lock the sessions of one desktop share: a named mutex of the user's
/// logon session on Windows, a lock on a file in the desktop root on POSIX.
/// The system lets go of it when the process ends, however it ends.
class DesktopLock {
 public:
  struct Impl;
  DesktopLock() noexcept;
  explicit DesktopLock(std::unique_ptr<Impl> impl) noexcept;
  DesktopLock(DesktopLock&&) noexcept;
  DesktopLock& operator=(DesktopLock&&) noexcept;
  ~DesktopLock();
  DesktopLock(const DesktopLock&) = delete;
  DesktopLock& operator=(const DesktopLock&) = delete;

  /// True when this process holds the lock.
  explicit operator bool() const noexcept { return impl_ != nullptr; }

 private:
  std::unique_ptr<Impl> impl_;
};

/// Takes the lock called `name` (letters, digits, '.' and '-', at most 64
/// characters), waiting up to `wait_ms` milliseconds for another process to
/// let go of it (0: not at all). An empty lock when it could not be had:
/// the last error is ERROR_ALREADY_EXISTS when another process holds it.
/// A process never takes the same lock twice.
DesktopLock TakeDesktopLock(const std::string& name, std::uint32_t wait_ms);

// ---------------------------------------------------------------- log stream

struct StreamCloser {
  void operator()(std::FILE* f) const noexcept;
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

/// fopen(path, "ab"): null when the file cannot be opened.
Stream OpenAppendStream(const std::string& path);

/// fopen(path, "rb"): null when the file cannot be opened.
Stream OpenReadStream(const std::string& path);

/// Deletes a file the log streams made (remove()); false when it could not
/// be deleted. Like the streams, outside the desktop's fault rules.
bool RemoveStreamFile(const std::string& path);

// ---------------------------------------------------------------- time, errors

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
/// GetLocalTime.
LocalTime LocalNow();

/// GetLastError / SetLastError of the calling thread.
std::uint32_t LastErrorCode();
void SetLastErrorCode(std::uint32_t code);

/// FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS)
/// into 1024 bytes: the system's text for the code (usually ending "\r\n"),
/// or nothing when the system has none.
std::optional<std::string> SystemErrorText(std::uint32_t code);

// ---------------------------------------------------------------- text

/// Desktop text (the ANSI code page; UTF-8 on Linux) to a device string and
/// back. The only place where the two widths meet. A character that has no
/// form in the target becomes '?'.
std::u16string Widen(std::string_view text);
std::string Narrow(std::u16string_view text);

// ---------------------------------------------------------------- the question

enum class Answer { Yes, No, Failed };

/// MessageBoxA(owner, text, caption, MB_YESNO). Failed when the question
/// could not be asked at all. `owner` is the platform window or null.
Answer AskYesNo(void* owner, const std::string& text, const std::string& caption);

/// Whether a question can be put to someone at all: on Windows always (a
/// message box); on POSIX when the process has a terminal.
bool CanAskQuestions();

}  // namespace zp
