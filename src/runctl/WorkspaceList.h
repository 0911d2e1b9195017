#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace rivanet {

class FileSystem;
class TextReader;

// The one way every stage reads the workspace list: one workspace folder name per line,
// trimmed of blanks; the list ends at the end of the file or at the first empty line. Each
// stage opens the file anew and reads it from the start, one name at a time.
class WorkspaceList {
 public:
  // Opens the list; an unreadable file throws AppError naming it.
  WorkspaceList(const FileSystem& files, const std::filesystem::path& listFile);
  ~WorkspaceList();

  // The next workspace name, or false at the end of the list. A line that no folder name can
  // hold (a NUL character) throws AppError naming the file and line.
  bool Next(std::string& name);

 private:
  std::filesystem::path m_path;
  std::unique_ptr<TextReader> m_reader;
  long m_lineNumber = 0;
  bool m_ended = false;
};

// Removes leading and trailing blanks (space characters only; tabs stay part of the name).
std::string TrimSpaces(const std::string& text);

}  // namespace rivanet
