#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileCopy.h"
#include "platform/files/FileSystem.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

[[noreturn]] void ThrowOs(const std::error_code& ec, const fs::path& path) {
  throw AppError::FromErrno(ec.value() != 0 ? ec.value() : EIO, DisplayPath(path));
}

bool IsWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// Entries of `folder` whose names match `pattern`, in name order for a repeatable copy order.
std::vector<fs::directory_entry> Matches(const fs::path& folder, const std::string& pattern) {
  std::vector<fs::directory_entry> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (WildcardMatch(pattern, it->path().filename().string())) found.push_back(*it);
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  return found;
}

class StdTextReader : public TextReader {
 public:
  explicit StdTextReader(const fs::path& path) : m_path(path), m_in(path, std::ios::binary) {
    if (!m_in) {
      int err = errno != 0 ? errno : ENOENT;
      throw AppError::FromErrno(err, DisplayPath(path));
    }
  }
  bool AtEndOfStream() override { return m_in.peek() == std::char_traits<char>::eof(); }
  std::string ReadLine() override {
    std::string line;
    std::getline(m_in, line);
    if (m_in.bad()) throw AppError::FromErrno(EIO, DisplayPath(m_path));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

 private:
  fs::path m_path;
  std::ifstream m_in;
};

class StdFileSystem : public FileSystem {
 public:
  fs::path Resolve(const fs::path& path) const override {
    std::optional<std::string> ambiguity;
    fs::path resolved = ResolveParts(path, ambiguity);
    if (ambiguity) throw AppError(kErrPathFileAccess, *ambiguity);
    return resolved;
  }

  std::optional<std::string> Ambiguity(const fs::path& path) const override {
    std::optional<std::string> ambiguity;
    ResolveParts(path, ambiguity);
    return ambiguity;
  }

  FolderRelation Relate(const fs::path& folder, const fs::path& other) const override {
    const fs::path a = RealPath(folder);
    const fs::path b = RealPath(other);
    if (SameFolder(a, b)) return FolderRelation::Same;
    for (fs::path p = a; p.has_relative_path(); p = p.parent_path())
      if (SameFolder(p.parent_path(), b)) return FolderRelation::Inside;
    for (fs::path p = b; p.has_relative_path(); p = p.parent_path())
      if (SameFolder(p.parent_path(), a)) return FolderRelation::Contains;
    return FolderRelation::Apart;
  }

  bool FileExists(const fs::path& path) const override {
    std::error_code ec;
    return fs::is_regular_file(Resolve(path), ec);
  }

  bool FolderExists(const fs::path& path) const override {
    std::error_code ec;
    return fs::is_directory(Resolve(path), ec);
  }

  void CreateFolder(const fs::path& path) override {
    // The parent is matched without regard to case; the new folder keeps the spelling given.
    fs::path target = Resolve(path.parent_path()) / path.filename();
    std::error_code ec;
    if (!fs::create_directory(target, ec)) {
      if (!ec) ec = std::make_error_code(std::errc::file_exists);
      ThrowOs(ec, path);
    }
  }

  void DeleteFolder(const fs::path& path) override {
    fs::path target = Resolve(path);
    std::error_code ec;
    if (!fs::is_directory(target, ec))
      ThrowOs(std::make_error_code(std::errc::no_such_file_or_directory), path);
    fs::remove_all(target, ec);
    if (ec) ThrowOs(ec, path);
  }

  void DeleteFile(const fs::path& path) override {
    fs::path target = Resolve(path);
    std::error_code ec;
    if (!fs::is_regular_file(target, ec))
      ThrowOs(std::make_error_code(std::errc::no_such_file_or_directory), path);
    if (!fs::remove(target, ec)) ThrowOs(ec, path);
  }

  void RequireWritable(const fs::path& folder, bool andFoldersInside) const override {
    const fs::path top = Resolve(folder);
    std::error_code statEc;
    if (fs::exists(top, statEc) && !fs::is_directory(top, statEc))
      ThrowOs(std::make_error_code(std::errc::not_a_directory), folder);
    auto require = [](const fs::path& dir) {
      // Adding or removing an entry takes write and search permission on the folder; a
      // read-only mount answers EROFS here as well.
      if (::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        ThrowOs(std::error_code(errno, std::generic_category()), dir);
    };
    require(top);
    if (!andFoldersInside) return;
    std::error_code ec;
    fs::recursive_directory_iterator it(top, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      std::error_code typeEc;
      if (it->is_directory(typeEc) && !it->is_symlink(typeEc)) require(it->path());
    }
    if (ec) ThrowOs(ec, top);
  }

  void CopyFile(const fs::path& source, const fs::path& destination) override {
    if (!IsWildcard(source.filename().string())) {
      std::error_code ec;
      const fs::path from = Resolve(source);
      if (!fs::is_regular_file(from, ec)) throw NothingMatched(source);
      const fs::path dest = Resolve(destination);
      const fs::path to = fs::is_directory(dest, ec) ? dest / from.filename() : dest;
      files::CopyRegularFile(from, to);
      return;
    }
    if (CopyMatchingFiles(source, destination) == 0) throw NothingMatched(source);
  }

  std::size_t CopyMatchingFiles(const fs::path& source, const fs::path& destination) override {
    const fs::path folder = Resolve(source.parent_path());
    files::FolderIndex dest(Resolve(destination));
    std::error_code ec;
    std::size_t copied = 0;
    for (const auto& entry : Matches(folder, source.filename().string())) {
      if (!entry.is_regular_file(ec)) continue;
      files::CopyRegularFile(entry.path(), dest.Target(entry.path().filename().string()));
      ++copied;
    }
    return copied;
  }

  void CopyFolder(const fs::path& source, const fs::path& destination) override {
    const fs::path folder = Resolve(source.parent_path());
    const std::string pattern = source.filename().string();
    files::FolderIndex dest(Resolve(destination));
    std::error_code ec;
    bool any = false;
    for (const auto& entry : Matches(folder, pattern)) {
      if (!entry.is_directory(ec)) continue;
      any = true;
      CopyTree(entry.path(), dest.Target(entry.path().filename().string()));
    }
    if (!any) throw NothingMatched(source);
  }

  bool IsLink(const fs::path& path) const override {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(Resolve(path), ec));
  }

  void RequireCopyable(const fs::path& source, const fs::path& destination) const override {
    const fs::path folder = Resolve(source.parent_path());
    files::FolderIndex dest(Resolve(destination));
    std::error_code ec;
    for (const auto& entry : Matches(folder, source.filename().string())) {
      const bool isFolder = entry.is_directory(ec);
      if (!isFolder && !entry.is_regular_file(ec)) continue;  // copied by neither
      const fs::path target = dest.Target(entry.path().filename().string());
      const fs::file_status status = fs::symlink_status(target, ec);
      if (ec || !fs::exists(status) || fs::is_symlink(status)) continue;  // made or replaced
      if (isFolder) {
        if (!fs::is_directory(status))
          ThrowOs(std::make_error_code(std::errc::not_a_directory), target);
      } else if (fs::is_directory(status)) {
        ThrowOs(std::make_error_code(std::errc::is_a_directory), target);
      } else if (!fs::is_regular_file(status)) {
        throw AppError(kErrPathFileAccess, "Not a regular file: " + DisplayPath(target));
      } else if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        ThrowOs(std::error_code(errno, std::generic_category()), target);
      }
    }
  }

  std::unique_ptr<TextReader> OpenTextFile(const fs::path& path) const override {
    const fs::path target = Resolve(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) throw AppError::FromErrno(EISDIR, DisplayPath(path));
    errno = 0;
    return std::make_unique<StdTextReader>(target);
  }

  void AppendText(const fs::path& path, const std::string& text) override {
    const fs::path target = Resolve(path);
    std::FILE* f = std::fopen(target.c_str(), "ab");
    if (f == nullptr) throw AppError::FromErrno(errno, DisplayPath(path));
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int writeErr = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed)
      throw AppError::FromErrno(written ? errno : writeErr, DisplayPath(path));
  }

 private:
  static AppError NothingMatched(const fs::path& source) {
    return AppError(kErrFileNotFound, "File not found: " + DisplayPath(source));
  }

  // Resolve's work. A component that matches several entries only without regard to case
  // stops it: `ambiguity` then says which, and the path returned is of no use.
  static fs::path ResolveParts(const fs::path& path, std::optional<std::string>& ambiguity) {
    std::error_code ec0;
    if (fs::exists(fs::symlink_status(path, ec0))) return path;  // the usual case: exact match
    fs::path resolved;
    bool missing = false;  // once a component is missing, the rest cannot exist either
    for (const auto& part : path) {
      fs::path candidate = resolved / part;
      if (resolved.empty()) candidate = part;
      std::error_code ec;
      if (!missing && part != "/" && part != "." && part != ".." && !part.empty() &&
          !fs::exists(fs::symlink_status(candidate, ec))) {
        const fs::path folder = resolved.empty() ? fs::path(".") : resolved;
        // Every entry is looked at: on a file system that tells letter cases apart, two of
        // them may answer to the name, and taking the first the folder lists would be a guess.
        std::vector<fs::path> matches;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
          if (SameIgnoringCase(it->path().filename().string(), part.string()))
            matches.push_back(it->path().filename());
        }
        if (matches.size() > 1) {
          std::sort(matches.begin(), matches.end());
          std::string names;
          for (std::size_t i = 0; i < matches.size(); ++i) {
            if (i > 0) names += i + 1 < matches.size() ? ", " : " and ";
            names += DisplayPath(resolved.empty() ? matches[i] : resolved / matches[i]);
          }
          ambiguity = "The name " + DisplayPath(candidate) + " matches " + names +
                      ", which differ only in letter case";
          return candidate;
        }
        if (matches.size() == 1) {
          candidate = resolved.empty() ? matches.front() : resolved / matches.front();
        } else {
          missing = true;
        }
      }
      resolved = candidate;
    }
    return resolved;
  }

  // The absolute path with letter case resolved and symbolic links followed as far as the
  // path exists, without a trailing separator.
  fs::path RealPath(const fs::path& path) const {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    fs::path real = fs::weakly_canonical(Resolve(absolute), ec);
    if (ec) real = absolute.lexically_normal();
    while (!real.has_filename() && real.has_relative_path()) real = real.parent_path();
    return real;
  }

  // Two real paths name the same folder when they are equal or, on a file system that does
  // not tell letter cases apart, lead to the same folder.
  static bool SameFolder(const fs::path& a, const fs::path& b) {
    if (a == b) return true;
    if (!SameIgnoringCase(a.filename().string(), b.filename().string())) return false;
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
  }

  // Copies the folder `from` as `to`, each entry overwriting the one of the same name in any
  // letter case. A link in the place of `to` is replaced by a real folder.
  void CopyTree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(to, ec);
    if (fs::is_symlink(status)) {
      if (!fs::remove(to, ec)) ThrowOs(ec, to);
    }
    if (!fs::is_directory(status) && !fs::create_directory(to, ec)) {
      ThrowOs(ec ? ec : std::make_error_code(std::errc::file_exists), to);
    }
    files::FolderIndex targets(to);
    for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path target = targets.Target(it->path().filename().string());
      if (it->is_directory(ec)) {
        CopyTree(it->path(), target);
      } else {
        files::CopyRegularFile(it->path(), target);
      }
    }
    if (ec) ThrowOs(ec, from);
  }
};

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative matcher with one backtrack point for the last '*'.
  std::size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string DisplayPath(const fs::path& path) { return path.string(); }

std::unique_ptr<FileSystem> MakeFileSystem() { return std::make_unique<StdFileSystem>(); }

}  // namespace rivanet
