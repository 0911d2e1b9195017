#include "runctl/Settings.h"

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"

namespace rivanet {
namespace {

constexpr std::size_t kMaxValueLength = 254;

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

std::optional<std::string> FindIniValue(const std::string& section, const std::string& key,
                                        const std::filesystem::path& file,
                                        const FileSystem& files) {
  auto reader = files.OpenTextFile(file);
  bool inSection = false;
  bool firstLine = true;
  while (!reader->AtEndOfStream()) {
    std::string line = reader->ReadLine();
    if (firstLine && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    firstLine = false;
    const std::string text = Trim(line);
    if (text.empty() || text[0] == ';') continue;
    if (text.front() == '[') {
      const auto close = text.find(']');
      inSection =
          close != std::string::npos && SameIgnoringCase(Trim(text.substr(1, close - 1)), section);
      continue;
    }
    if (!inSection) continue;
    const auto equals = text.find('=');
    if (equals == std::string::npos) continue;
    if (SameIgnoringCase(Trim(text.substr(0, equals)), key))
      return Unquote(Trim(text.substr(equals + 1)));
  }
  return std::nullopt;
}

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::filesystem::path& file, const FileSystem& files) {
  if (!files.FileExists(file)) return {};
  try {
    std::string value = FindIniValue(section, key, file, files).value_or("");
    if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
    return value;
  } catch (const AppError&) {
    return {};  // an unreadable file reads as an empty one
  }
}

}  // namespace rivanet
