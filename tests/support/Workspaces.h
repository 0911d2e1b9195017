#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rivanet::test {

// An application folder with a settings file and a small skeleton, plus an input folder of
// workspaces: enough for a run's checks, preparation and closing pass.
struct RunFolders {
  std::filesystem::path app;
  std::filesystem::path input;
  std::filesystem::path output;
  std::filesystem::path list;
};

// Lays out app/ (RivanetAppend.ini naming Skel, Skel/ with the workspace folders and a top
// file), input/, output/ under `root`.
RunFolders MakeRunFolders(const std::filesystem::path& root);

// A workspace folder holding the four grid folders (all but those in `missingGrids`, given
// as "drainage/cat" etc.) and the text files named in `textFiles` (content = "<ws>:<name>").
void MakeWorkspace(const std::filesystem::path& input, const std::string& name,
                   const std::vector<std::string>& textFiles = {"notes.txt"},
                   const std::vector<std::string>& missingGrids = {});

// The Active.log messages without their date, time and mode word.
std::vector<std::string> LogMessages(const std::filesystem::path& logFile);

}  // namespace rivanet::test
