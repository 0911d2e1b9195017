#include "support/Workspaces.h"

#include <algorithm>
#include <cstdint>
#include <regex>

#include "platform/database/Database.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/GridWriter.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace rivanet::test {

RunFolders MakeRunFolders(const fs::path& root) {
  RunFolders f{root / "app", root / "input", root / "output", root / "input/list.txt"};
  WriteFile(f.app / "RivanetAppend.ini", "[Working]\r\nSkelPath=Skel\r\n");
  WriteFile(f.app / "Skel/Drainage/catchment.shp", "skel-catchment");
  WriteFile(f.app / "Skel/hydrography/RVXLine.shp", "skel-line");
  WriteFile(f.app / "Skel/hydrologicunits/subbasin.shp", "skel-subbasin");
  WriteFile(f.app / "Skel/RVXFlow.dbf", "skel-flow");
  MakeScratchSkeleton(f.app / "VatWorkSkel.mdb");
  fs::create_directories(f.input);
  fs::create_directories(f.output);
  return f;
}

void MakeWorkspace(const fs::path& input, const std::string& name,
                   const std::vector<std::string>& textFiles,
                   const std::vector<std::string>& missingGrids) {
  // The same 2 x 2 cells in every workspace: catchment values 1 and 2, listed alike.
  const gis::GridGeometry cells{500000, 4000000, 30, 2, 2, ""};
  const std::vector<std::int32_t> values = {1, 1, 2, 2};
  for (const char* grid : {"drainage/cat", "elev_unit/elev_cm", "fac_fdr_unit/fac", "fac_fdr_unit/fdr"}) {
    if (std::find(missingGrids.begin(), missingGrids.end(), grid) != missingGrids.end()) continue;
    const bool fdr = std::string(grid) == "fac_fdr_unit/fdr";
    gis::GridWriter writer(input / name / grid, cells, fdr ? gis::CellType::UInt8 : gis::CellType::Int32,
                           gis::NoDataOf(fdr ? gis::CellType::UInt8 : gis::CellType::Int32));
    writer.WriteRows(0, 2, values.data());
    writer.Close();
  }
  if (std::find(missingGrids.begin(), missingGrids.end(), "drainage/cat") == missingGrids.end())
    gis::WriteVat(input / name / "drainage/cat",
                  {{{"Value", gis::DbfType::Integer, 10, 0},
                    {"Count", gis::DbfType::Integer, 10, 0},
                    {"Comid", gis::DbfType::Integer, 10, 0},
                    {"Prod_unit", gis::DbfType::String, 4, 0}},
                   {{std::int64_t{1}, std::int64_t{2}, std::int64_t{1001}, "0101"},
                    {std::int64_t{2}, std::int64_t{2}, std::int64_t{1002}, "0101"}}});
  for (const auto& text : textFiles) WriteFile(input / name / text, name + ":" + text);
}

std::vector<std::string> GridPhaseLog(int workspaces) {
  const std::string n = std::to_string(workspaces);
  return {"cat: 2 x 2 cells, 4 with data above zero",
          "elev_cm: 2 x 2 cells, 4 with data",
          "fac: 2 x 2 cells, 4 with data",
          "fdr: 2 x 2 cells, 4 with data above zero",
          "cat value attribute table: 2 rows, 2 with Comid and Prod_unit (2 shared by several "
          "workspaces, 0 listed with conflicting ones: the first workspace's kept), 0 listed by no "
          "workspace (left empty); " + std::to_string(2 * workspaces) + " rows read from " + n +
              " workspaces",
          "Grid phase took S seconds"};
}

void MakeScratchSkeleton(const fs::path& file) {
  db::Connection db(file, db::OpenMode::Create);
  db.Execute(
      "CREATE TABLE tblImport(myValue INTEGER, Comid INTEGER, Prod_unit TEXT);"
      "CREATE TABLE tblVat(myValue INTEGER);");
  db.Close();
}

std::vector<std::string> LogMessages(const fs::path& logFile) {
  std::vector<std::string> messages;
  const std::string text = ReadFile(logFile);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t sep = line.find(" - ");
    static const std::regex elapsed(" ran for [0-9]+ minutes and [0-9]+ seconds ");
    static const std::regex took(" took [0-9]+\\.[0-9]+ seconds$");
    const std::string message = std::regex_replace(
        sep == std::string::npos ? line : line.substr(sep + 3), elapsed, " ran for M minutes and S seconds ");
    messages.push_back(std::regex_replace(message, took, " took S seconds"));
    start = end + 2;
  }
  return messages;
}

std::vector<std::string> RunFixture::Log() const { return LogMessages(f.app / "Active.log"); }

}  // namespace rivanet::test
