#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace rivanet::files {

// Copies the regular file `from` to `to`, replacing its content. A `to` that is a symbolic
// link is replaced by the copy, so the file it points to is never written; a `to` that is the
// same file as `from` (through a link, or under another name) is refused before anything is
// truncated. Throws AppError naming the path that failed.
void CopyRegularFile(const std::filesystem::path& from, const std::filesystem::path& to);

// The entries of one destination folder, read once. Copying n files into a folder asks it for
// n targets; reading the folder once per file instead makes a copy quadratic in its size.
class FolderIndex {
 public:
  // Reads `folder`; a folder that does not exist yet has no entries.
  explicit FolderIndex(const std::filesystem::path& folder);

  // Where a copy of an entry named `name` goes: the existing entry of that name, else one
  // whose name differs only in letter case (so it is overwritten, not doubled), else `name`
  // itself, which from then on counts as existing.
  std::filesystem::path Target(const std::string& name);

 private:
  std::filesystem::path m_folder;
  std::unordered_set<std::string> m_names;
  std::unordered_map<std::string, std::string> m_byFoldedName;
};

}  // namespace rivanet::files
