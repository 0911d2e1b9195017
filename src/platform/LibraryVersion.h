#pragma once

#include <string>

namespace rivanet {

// A library the program runs on, as the About window reports it.
struct LibraryVersion {
  std::string file;     // the shared library file loaded into this process
  std::string version;  // the version the library reports about itself
};

// The file of the loaded shared object that holds `symbol`: the library's file when it is
// linked dynamically, the executable when it is linked in. "" when the loader cannot tell.
std::string LibraryFileOf(const void* symbol);

}  // namespace rivanet
