#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace rivanet::test {

// A fresh folder for one test, removed when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

// Writes `content` to `path` byte for byte, creating parent folders.
void WriteFile(const std::filesystem::path& path, const std::string& content);
// The whole content of a file; throws when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Every entry under `root`, by path relative to it: a file with its bytes, a folder as "<dir>",
// a symbolic link as "-> <target>" (never followed). Entries whose relative path starts with
// one of `skip` are left out. Two equal snapshots mean nothing under `root` changed.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::filesystem::path& root, const std::vector<std::string>& skip = {});

// What differs between two snapshots, one line per entry: "new <path>", "gone <path>",
// "changed <path>". Empty when nothing changed.
std::vector<std::string> Changes(const Tree& before, const Tree& after);
inline const std::vector<std::string> kNoChanges;

}  // namespace rivanet::test
