#include "support/Workspaces.h"

#include <algorithm>
#include <regex>

#include "support/DbfFile.h"
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
  // The table phase appends the Work folder's tables to the output whatever the workspaces
  // hold, so those are real (empty) tables, as in the shipped skeleton.
  for (const auto& step : schema::ShippedSchema().tableSteps)
    if (step.viaWork) WriteLayoutTable(f.app / "Skel", step.name);
  fs::create_directories(f.input);
  fs::create_directories(f.output);
  return f;
}

void MakeWorkspace(const fs::path& input, const std::string& name,
                   const std::vector<std::string>& textFiles,
                   const std::vector<std::string>& missingGrids) {
  for (const char* grid : {"drainage/cat", "elev_unit/elev_cm", "fac_fdr_unit/fac", "fac_fdr_unit/fdr"}) {
    if (std::find(missingGrids.begin(), missingGrids.end(), grid) == missingGrids.end())
      fs::create_directories(input / name / grid);
  }
  for (const auto& text : textFiles) WriteFile(input / name / text, name + ":" + text);
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
    messages.push_back(std::regex_replace(sep == std::string::npos ? line : line.substr(sep + 3), elapsed,
                                          " ran for M minutes and S seconds "));
    start = end + 2;
  }
  return messages;
}

std::vector<std::string> RunFixture::Log() const { return LogMessages(f.app / "Active.log"); }

}  // namespace rivanet::test
