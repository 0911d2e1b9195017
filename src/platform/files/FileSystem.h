#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace rivanet {

// A text file read line by line. Lines end at LF; a CR before the LF is not part of the line.
class TextReader {
 public:
  virtual ~TextReader() = default;
  virtual bool AtEndOfStream() = 0;
  virtual std::string ReadLine() = 0;
};

// How one folder stands to another.
enum class FolderRelation { Apart, Same, Inside, Contains };

// Every file and folder operation of a run goes through this object. Paths are resolved one
// component at a time without regard to letter case when no exact match exists, because the
// workspaces come from a file system that does not tell "Drainage" from "drainage". Where a
// case-sensitive file system holds several entries that differ only in letter case and none
// matches exactly, the path is refused instead of one being guessed.
// Failures throw AppError naming the path and the reason.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The existing path that `path` names, each component matched exactly or else without
  // regard to case; components that match nothing are kept as written. A component that
  // matches several entries without regard to case, none of them exactly, throws AppError
  // with the text of Ambiguity.
  virtual std::filesystem::path Resolve(const std::filesystem::path& path) const = 0;
  // When a component of `path` has no exact match but several entries that differ from it
  // only in letter case: "The name <path up to it> matches <entries>, which differ only in
  // letter case". Nothing when `path` names one entry or none.
  virtual std::optional<std::string> Ambiguity(const std::filesystem::path& path) const = 0;

  // How `folder` stands to `other`: the same folder, inside it, containing it, or apart. Both
  // are compared as real paths: made absolute, letter case resolved, symbolic links followed
  // (parts that do not exist are taken as written), so no spelling or link hides a relation.
  virtual FolderRelation Relate(const std::filesystem::path& folder,
                                const std::filesystem::path& other) const = 0;

  // True when `path` (letter case resolved) is a symbolic link.
  virtual bool IsLink(const std::filesystem::path& path) const = 0;
  virtual bool FileExists(const std::filesystem::path& path) const = 0;
  virtual bool FolderExists(const std::filesystem::path& path) const = 0;

  virtual void CreateFolder(const std::filesystem::path& path) = 0;
  // Deletes the folder with everything in it. A symbolic link inside it is removed, never
  // followed; a link given as `path` is removed itself.
  virtual void DeleteFolder(const std::filesystem::path& path) = 0;
  virtual void DeleteFile(const std::filesystem::path& path) = 0;
  // Throws AppError (the reason and the folder) when `folder` is no folder, when entries
  // cannot be added to or removed from it or, with `andFoldersInside`, from any folder inside it
  // (links not followed). Checked before a folder is emptied, so that one the process may not
  // change is refused whole instead of being left half deleted.
  virtual void RequireWritable(const std::filesystem::path& folder,
                               bool andFoldersInside) const = 0;

  // Copies the files that `source` names into the folder `destination` (or to the file
  // `destination` when `source` names one file and `destination` is no folder), overwriting.
  // A destination that is a symbolic link is replaced by the copy; the file it points to is
  // never written. Copying a file onto itself is an error.
  // The last component of `source` may hold the wildcards * and ?. Nothing matched is an error.
  virtual void CopyFile(const std::filesystem::path& source,
                        const std::filesystem::path& destination) = 0;
  // As CopyFile, but a wildcard that matches nothing copies nothing; returns the files copied.
  virtual std::size_t CopyMatchingFiles(const std::filesystem::path& source,
                                        const std::filesystem::path& destination) = 0;
  // Copies the folders that `source` names, with their contents, into the folder
  // `destination`, overwriting files of the same name; a destination folder that is a symbolic
  // link is replaced by a real folder. Wildcards, links and failure as CopyFile.
  virtual void CopyFolder(const std::filesystem::path& source,
                          const std::filesystem::path& destination) = 0;

  // Throws AppError naming the entry and the reason when copying what `source` names (files
  // and folders, wildcards as CopyFile) into the folder `destination` would meet an entry
  // there it cannot replace: a folder where a file goes, a file where a folder goes, or a
  // file the process may not write. Links are replaced and so never stand in the way.
  virtual void RequireCopyable(const std::filesystem::path& source,
                               const std::filesystem::path& destination) const = 0;

  virtual std::unique_ptr<TextReader> OpenTextFile(const std::filesystem::path& path) const = 0;
  // Appends `text` as it stands, creating the file when it does not exist.
  virtual void AppendText(const std::filesystem::path& path, const std::string& text) = 0;
};

// The real file system.
std::unique_ptr<FileSystem> MakeFileSystem();

// True when `name` matches the wildcard pattern (* and ?), letters compared without case.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// `path` written with the platform's separator, as messages show it.
std::string DisplayPath(const std::filesystem::path& path);

}  // namespace rivanet
