// Copies every folder of SOURCE into DESTINATION with the program's own folder copy, the one
// the output preparation uses. Built and timed by bench/copy-folders.
#include <cstdio>
#include <exception>

#include "platform/files/FileSystem.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: copy-folders SOURCE DESTINATION\n");
    return 2;
  }
  try {
    rivanet::MakeFileSystem()->CopyFolder(std::filesystem::path(argv[1]) / "*", argv[2]);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "copy-folders: %s\n", e.what());
    return 1;
  }
}
