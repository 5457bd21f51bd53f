// The regedit text format ("Windows Registry Editor Version 5.00"), read
// into and written from an in-memory tree of keys. Shared by the POSIX
// desktop registry (registry.reg) and the simulated handheld (device.reg).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zp::regfile {

/// The first line of the text, as regedit writes it.
inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

/// How "Name"="text" values are held as bytes: the desktop stores 8-bit
/// text with a NUL, the handheld UTF-16LE with a NUL.
enum class Strings { Narrow, Wide };

struct Value {
  std::string name;  ///< empty for the default value "@"
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
};

struct Key {
  std::string path;  ///< full path, "HKEY_LOCAL_MACHINE\Software\Brenok\ZAMO"
  std::vector<Value> values;
};

/// A parse problem: the line was skipped.
struct Problem {
  int line = 0;
  std::string text;
};

struct Document {
  std::vector<Key> keys;  ///< in file order
};

struct ParseResult {
  Document doc;
  std::vector<Problem> problems;  ///< lines that could not be read
};

/// Reads the text of a .reg file. Lines it cannot read are listed in
/// `problems` and skipped; everything else is kept.
ParseResult Parse(std::string_view text, Strings strings);

/// Writes the whole document back in the same format.
std::string Write(const Document& doc, Strings strings);

/// Whether `text` can stand as a key path or a value name in the file: a
/// line break or another control character would break the file's lines
/// (a string value holding one is written as hex instead).
bool IsWritableName(std::string_view text);
/// Whether every key path and value name of `doc` is.
bool IsWritable(const Document& doc);

/// Reads a file: nothing when it cannot be read (a missing file reads as an
/// empty document). Problems are reported on stderr with file name and line.
/// `complete` is set false when any line was skipped.
std::optional<Document> Load(const std::string& file, Strings strings, bool* complete = nullptr);

/// Writes the file through a temporary file and a rename; refuses a
/// document that is not IsWritable.
bool Save(const std::string& file, const Document& doc, Strings strings);

/// Case-insensitive lookups, as in the Windows registry.
Key* FindKey(Document& doc, std::string_view path);
const Key* FindKey(const Document& doc, std::string_view path);
Key& FindOrAddKey(Document& doc, std::string_view path);
Value* FindValue(Key& key, std::string_view name);
const Value* FindValue(const Key& key, std::string_view name);
void SetValue(Key& key, std::string_view name, std::uint32_t type, std::vector<std::uint8_t> bytes);

/// A key exists when it has a section, or when a section lies below it
/// (regedit makes every parent of a key it imports).
bool KeyExists(const Document& doc, std::string_view path);

/// The direct subkey names of `path`, in key-name order (case-insensitive).
std::vector<std::string> SubkeyNames(const Document& doc, std::string_view path);

}  // namespace zp::regfile
