#pragma once

// What the fuzz targets share: a scratch folder of their own per process, files written into
// it from the fuzz input, and the one way a target reports a broken property.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace rivanet::fuzz {

// A folder of the process's own under TMPDIR, removed at a normal exit. libFuzzer ends a timed
// run without one, so scripts/fuzz gives each target a TMPDIR that it removes itself.
const std::filesystem::path& ScratchFolder();

// Writes `size` bytes to `file`, replacing it; aborts when the file cannot be written, which
// would make every later input meaningless.
void WriteBytes(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size);

// The fuzz input written to the scratch folder's file `name`, for a reader that takes files.
std::filesystem::path InputFile(const char* name, const std::uint8_t* data, std::size_t size);

// Reports a broken property and aborts, so that libFuzzer keeps the input as a crash.
[[noreturn]] void Broken(const std::string& what);

}  // namespace rivanet::fuzz

#define RIVANET_FUZZ_CHECK(condition, what)          \
  do {                                               \
    if (!(condition)) ::rivanet::fuzz::Broken(what); \
  } while (false)
