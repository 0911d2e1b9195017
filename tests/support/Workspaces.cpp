#include "support/Workspaces.h"

#include <algorithm>
#include <cstdint>
#include <regex>

#include "platform/Error.h"
#include "platform/database/Database.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/GridWriter.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace rivanet::test {

fs::path ShippedSkeleton() { return fs::path(RIVANET_APP_DIR) / "Skel"; }

RunFolders MakeRunFolders(const fs::path& root) {
  RunFolders f{root / "app", root / "input", root / "output", root / "input/list.txt"};
  WriteFile(f.app / "RivanetAppend.ini", "[Working]\r\nSkelPath=Skel\r\n");
  fs::copy(ShippedSkeleton(), f.app / "Skel", fs::copy_options::recursive);
  fs::copy_file(fs::path(RIVANET_APP_DIR) / "VatWorkSkel.mdb", f.app / "VatWorkSkel.mdb");
  fs::create_directories(f.input);
  fs::create_directories(f.output);
  return f;
}

void MakeWorkspace(const fs::path& input, const std::string& name,
                   const std::vector<std::string>& textFiles,
                   const std::vector<std::string>& missingGrids) {
  const fs::path workspace = input / name;
  // Empty feature classes and tables, as every workspace holds them.
  fs::create_directories(workspace);
  fs::copy(ShippedSkeleton(), workspace, fs::copy_options::recursive);
  const auto files = MakeFileSystem();
  // The same 2 x 2 cells in every workspace: catchment values 1 and 2, listed alike.
  const gis::GridGeometry cells{500000, 4000000, 30, 2, 2, ""};
  const std::vector<std::int32_t> values = {1, 1, 2, 2};
  const auto missing = [&](const char* grid) { return std::ranges::count(missingGrids, grid) > 0; };
  for (const char* grid :
       {"drainage/cat", "elev_unit/elev_cm", "fac_fdr_unit/fac", "fac_fdr_unit/fdr"}) {
    if (missing(grid)) continue;
    // The skeleton spells "Drainage": the grid goes into that folder, whatever its letter case.
    const fs::path folder =
        files->Resolve(workspace / fs::path(grid).parent_path()) / fs::path(grid).filename();
    const bool fdr = std::string(grid) == "fac_fdr_unit/fdr";
    gis::GridWriter writer(folder, cells, fdr ? gis::CellType::UInt8 : gis::CellType::Int32,
                           gis::NoDataOf(fdr ? gis::CellType::UInt8 : gis::CellType::Int32));
    writer.WriteRows(0, 2, values.data());
    writer.Close();
  }
  if (!missing("drainage/cat"))
    gis::WriteVat(files->Resolve(workspace / "drainage/cat"),
                  {{{"Value", gis::DbfType::Integer, 10, 0},
                    {"Count", gis::DbfType::Integer, 10, 0},
                    {"Comid", gis::DbfType::Integer, 10, 0},
                    {"Prod_unit", gis::DbfType::String, 4, 0}},
                   {{std::int64_t{1}, std::int64_t{2}, std::int64_t{1001}, "0101"},
                    {std::int64_t{2}, std::int64_t{2}, std::int64_t{1002}, "0101"}}});
  for (const auto& text : textFiles) WriteFile(workspace / text, name + ":" + text);
}

void MakeScratchSkeleton(const fs::path& file) {
  db::Connection db(file, db::OpenMode::Create);
  db.Execute(
      "CREATE TABLE tblImport(myValue INTEGER, Comid INTEGER, Prod_unit TEXT);"
      "CREATE TABLE tblVat(myValue INTEGER);");
  db.Close();
}

std::vector<std::string> LogMessages(const fs::path& logFile) {
  static const std::regex elapsed(" ran for [0-9]+ minutes and [0-9]+ seconds ");
  static const std::regex took(" took [0-9]+\\.[0-9]+ seconds$");
  std::vector<std::string> messages;
  const std::string text = ReadFile(logFile);
  for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
    end = std::min(text.find("\r\n", start), text.size());
    std::string line = text.substr(start, end - start);
    if (const std::size_t sep = line.find(" - "); sep != std::string::npos) line.erase(0, sep + 3);
    line = std::regex_replace(line, elapsed, " ran for M minutes and S seconds ");
    messages.push_back(std::regex_replace(line, took, " took S seconds"));
  }
  return messages;
}

RunContext& RunSetup::Context(bool interactive) {
  log = std::make_unique<ActivityLog>(*files, f.app, interactive);
  runContext.emplace(RunContext{f.app, interactive, *files, *log, feedback, layout});
  return *runContext;
}

std::vector<std::string> RunSetup::Log() const { return LogMessages(f.app / "Active.log"); }

}  // namespace rivanet::test
