// The workspace-list reader (runctl/WorkspaceList.h) on arbitrary file content.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/WorkspaceList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rivanet;
  static const auto files = MakeFileSystem();
  const auto file = fuzz::InputFile("list.txt", data, size);

  WorkspaceList list(*files, file);
  std::string name;
  std::size_t names = 0;
  try {
    while (list.Next(name)) {
      ++names;
      RIVANET_FUZZ_CHECK(!name.empty(), "an empty workspace name");
      RIVANET_FUZZ_CHECK(name.front() != ' ' && name.back() != ' ', "an untrimmed workspace name");
      RIVANET_FUZZ_CHECK(name.find('\n') == std::string::npos, "a name spans lines");
      RIVANET_FUZZ_CHECK(name.find('\0') == std::string::npos, "a name holds a NUL character");
      RIVANET_FUZZ_CHECK(names <= size, "more names than the file has bytes");
    }
    RIVANET_FUZZ_CHECK(!list.Next(name), "the list goes on after its end");
  } catch (const AppError&) {
    // A NUL character in a name is refused.
  }
  return 0;
}
