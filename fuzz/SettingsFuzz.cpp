// The settings-file reader (runctl/Settings.h) on arbitrary file content, looked up with the
// sections and keys the program reads.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/Settings.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rivanet;
  static const auto files = MakeFileSystem();
  const auto file = fuzz::InputFile("RivanetAppend.ini", data, size);

  const std::pair<const char*, const char*> lookups[] = {
      {"Working", "SkelPath"}, {"Working", "GridCompressionLevel"}, {"Run", "InputFolder"}};
  for (const auto& [section, key] : lookups) {
    std::optional<std::string> found;
    bool unreadable = false;
    try {
      found = FindIniValue(section, key, file, *files);
    } catch (const AppError&) {
      unreadable = true;
    }
    const std::string value = ReadIniValue(section, key, file, *files);
    // The short lookup is the long one cut to 254 characters, and "" where that one fails.
    std::string expected = unreadable ? std::string() : found.value_or("");
    if (expected.size() > 254) expected.resize(254);
    RIVANET_FUZZ_CHECK(value == expected, "ReadIniValue differs from FindIniValue");
    // A value comes from one line.
    RIVANET_FUZZ_CHECK(value.find('\n') == std::string::npos, "a value spans lines");
    // Section and key names match without regard to case.
    if (!unreadable) {
      const auto upper = FindIniValue(Upper(section), Upper(key), file, *files);
      RIVANET_FUZZ_CHECK(upper == found, "the lookup depends on the letter case of its names");
    }
  }
  return 0;
}
