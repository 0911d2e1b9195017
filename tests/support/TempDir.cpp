#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace rivanet::test {

TempDir::TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string stem = info ? std::string(info->test_suite_name()) + "." + info->name() : "rivanet";
  for (auto& c : stem)
    if (c == '/') c = '_';
  std::string pattern = (std::filesystem::temp_directory_path() / (stem + ".XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only folders made by a test must not survive it.
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) throw std::runtime_error("cannot read " + path.string());
  return s.str();
}

Tree Snapshot(const std::filesystem::path& root, const std::vector<std::string>& skip) {
  namespace fs = std::filesystem;
  Tree entries;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string name = it->path().lexically_relative(root).string();
    if (std::ranges::any_of(skip, [&](const auto& prefix) { return name.starts_with(prefix); })) {
      if (it->is_directory() && !it->is_symlink()) it.disable_recursion_pending();
      continue;
    }
    entries[name] = it->is_symlink()     ? "-> " + fs::read_symlink(it->path()).string()
                    : it->is_directory() ? "<dir>"
                                         : ReadFile(it->path());
  }
  return entries;
}

std::vector<std::string> Changes(const Tree& before, const Tree& after) {
  std::vector<std::string> changes;
  for (const auto& [name, content] : before) {
    const auto it = after.find(name);
    if (it == after.end())
      changes.push_back("gone " + name);
    else if (it->second != content)
      changes.push_back("changed " + name);
  }
  for (const auto& [name, content] : after)
    if (before.count(name) == 0) changes.push_back("new " + name);
  return changes;
}

}  // namespace rivanet::test
