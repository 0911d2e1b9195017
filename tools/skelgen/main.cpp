// rivanet-skelgen --schema FILE --out APPDIR
// Writes the application's empty skeleton workspace (APPDIR/Skel) and scratch database
// (APPDIR/VatWorkSkel.mdb) from the workspace schema. Run by the build.

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "Skeleton.h"
#include "workspace/Schema.h"

namespace {

int Usage(const std::string& problem) {
  std::cerr << "rivanet-skelgen: " << problem << "\n"
            << "usage: rivanet-skelgen --schema FILE --out APPDIR\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path schemaFile;
  std::filesystem::path appDir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--schema" || arg == "--out") && i + 1 < argc) {
      (arg == "--schema" ? schemaFile : appDir) = argv[++i];
    } else {
      return Usage("unexpected argument '" + arg + "'");
    }
  }
  if (schemaFile.empty()) return Usage("--schema is missing");
  if (appDir.empty()) return Usage("--out is missing");

  try {
    const auto schema = rivanet::schema::LoadSchema(schemaFile);
    rivanet::skelgen::WriteSkeleton(schema, appDir);
    rivanet::skelgen::WriteScratchDatabase(appDir);
  } catch (const std::exception& e) {
    std::cerr << "rivanet-skelgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
