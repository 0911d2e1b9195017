#include "runctl/Settings.h"

#include <charconv>

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

std::optional<int> ReadGridCompressionLevel(const std::filesystem::path& file,
                                            const FileSystem& files) {
  constexpr const char* kKey = "GridCompressionLevel";
  const std::string text = ReadIniValue("Working", kKey, file, files);
  if (text.empty()) return std::nullopt;
  int level = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), level);
  if (ec != std::errc() || end != text.data() + text.size() || level < 1 || level > 9)
    throw AppError(kErrInvalidArgument, std::string(kKey) + "=" + text + " in " +
                                            DisplayPath(file) + " is no whole number from 1 to 9");
  return level;
}

}  // namespace rivanet
