#pragma once

#include <filesystem>
#include <string>

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

}  // namespace rivanet::test
