#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace rivanet::fuzz {
namespace {

std::filesystem::path MakeScratch() {
  std::string name = (std::filesystem::temp_directory_path() / "rivanet-fuzz.XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) Broken("cannot make a scratch folder in " + name);
  return name;
}

std::filesystem::path& Scratch() {
  static std::filesystem::path folder = [] {
    std::filesystem::path made = MakeScratch();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Scratch(), ec);
    });
    return made;
  }();
  return folder;
}

}  // namespace

const std::filesystem::path& ScratchFolder() { return Scratch(); }

void WriteBytes(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) Broken("cannot write " + file.string());
}

std::filesystem::path InputFile(const char* name, const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path file = ScratchFolder() / name;
  WriteBytes(file, data, size);
  return file;
}

void Broken(const std::string& what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace rivanet::fuzz
