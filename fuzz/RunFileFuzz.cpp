// The run-file reader (app/Startup.h: ReadRunFile) on arbitrary file content, and the command
// line joined into one path (CommandLinePath) from arbitrary arguments.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "app/Startup.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"

namespace {

void CheckCommandLine(const std::uint8_t* data, std::size_t size) {
  // Arguments separated by NUL bytes, which no argument can hold.
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      args.emplace_back();
    else
      args.back().push_back(static_cast<char>(data[i]));
  }
  const std::string path = rivanet::CommandLinePath(args);
  RIVANET_FUZZ_CHECK(path.find('"') == std::string::npos, "a double quote kept in the path");
  RIVANET_FUZZ_CHECK(path.empty() || (path.front() != ' ' && path.back() != ' '),
                     "a blank at either end of the path");
  // The path is what the arguments hold, in order: quotes and outer blanks gone, one blank
  // between arguments.
  std::string joined;
  for (std::size_t i = 0; i < args.size(); ++i) joined += (i > 0 ? " " : "") + args[i];
  std::string bare;
  for (char c : joined)
    if (c != '"') bare += c;
  RIVANET_FUZZ_CHECK(bare.find(path) != std::string::npos, "the path is not part of the arguments");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rivanet;
  static const auto files = MakeFileSystem();
  const auto file = fuzz::InputFile("job.run", data, size);
  try {
    const RunFile run = ReadRunFile(file, *files);
    // Relative paths are taken relative to the run file's (absolute) folder.
    for (const auto* p : {&run.inputFolder, &run.outputFolder, &run.listFile})
      RIVANET_FUZZ_CHECK(p->is_absolute(), "a run file path is not absolute: " + p->string());
  } catch (const AppError&) {
    // A run file without the three keys is refused; that is an outcome, not a fault.
  }
  CheckCommandLine(data, size);
  return 0;
}
