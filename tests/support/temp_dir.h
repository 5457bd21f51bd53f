// A real temporary folder for a test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

namespace zp::test {

class TempDir {
 public:
  TempDir();
  /// A folder that another TempDir owns: the same helpers, and left in
  /// place when this one goes.
  explicit TempDir(std::filesystem::path borrowed);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// Writes a file below the folder, creating its folders.
  void Write(const std::string& relative, const std::string& bytes) const;
  /// The bytes of a file below the folder ("" when it is missing).
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

 private:
  std::filesystem::path path_;
  bool owned_ = true;
};

/// The names in a folder, sorted and joined by spaces, each folder's with a
/// trailing '/' ("" when the folder is missing).
std::string FolderListing(const std::filesystem::path& folder);

}  // namespace zp::test
