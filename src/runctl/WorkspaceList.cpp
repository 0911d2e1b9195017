#include "runctl/WorkspaceList.h"

#include "platform/Error.h"
#include "platform/files/FileSystem.h"

namespace rivanet {

std::string TrimSpaces(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

WorkspaceList::WorkspaceList(const FileSystem& files, const std::filesystem::path& listFile)
    : m_path(listFile), m_reader(files.OpenTextFile(listFile)) {}

WorkspaceList::~WorkspaceList() = default;

bool WorkspaceList::Next(std::string& name) {
  if (m_ended || m_reader->AtEndOfStream()) {
    m_ended = true;
    return false;
  }
  std::string line = m_reader->ReadLine();
  ++m_lineNumber;
  // A byte-order mark written by an editor is not part of the first name.
  if (m_lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
  std::string trimmed = TrimSpaces(line);
  if (trimmed.empty()) {
    m_ended = true;
    return false;
  }
  if (trimmed.find('\0') != std::string::npos) {
    throw AppError(kErrInvalidArgument, "Line " + std::to_string(m_lineNumber) + " of " +
                                            DisplayPath(m_path) +
                                            " holds a NUL character, which no folder name can");
  }
  name = std::move(trimmed);
  return true;
}

}  // namespace rivanet
