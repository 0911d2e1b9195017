#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"
#include "workspace/Schema.h"

namespace rivanet::test {

// An application folder with a settings file and a small skeleton, plus an input folder of
// workspaces: enough for a run's checks, preparation and closing pass.
struct RunFolders {
  std::filesystem::path app;
  std::filesystem::path input;
  std::filesystem::path output;
  std::filesystem::path list;
};

// The skeleton the build generates into its application folder.
std::filesystem::path ShippedSkeleton();

// Lays out app/ (RivanetAppend.ini naming Skel, Skel/ a copy of the shipped skeleton, the
// shipped VatWorkSkel.mdb), input/, output/ under `root`; the list file is input/list.txt.
RunFolders MakeRunFolders(const std::filesystem::path& root);

// A workspace folder holding the skeleton's empty feature classes and tables, the four grids
// (all but those in `missingGrids`, given as "drainage/cat" etc.), each 2 x 2 cells, the
// catchment grid with values 1 and 2 and its value attribute table (Comid 1001 and 1002,
// Prod_unit 0101), and the text files named in `textFiles` (content = "<ws>:<name>").
void MakeWorkspace(const std::filesystem::path& input, const std::string& name,
                   const std::vector<std::string>& textFiles = {"notes.txt"},
                   const std::vector<std::string>& missingGrids = {});

// Run folders in a fresh temporary folder, and a run context on them whose feedback records
// what the run did to it.
class RunSetup {
 public:
  RunSetup() : f(MakeRunFolders(dir.Path())) {}

  // A fresh log and context for one run in the given mode, on the folders as `f` names them
  // and with `layout` as its layout.
  RunContext& Context(bool interactive);
  std::vector<std::string> Log() const;

  std::unique_ptr<FileSystem> files = MakeFileSystem();
  TempDir dir;
  RunFolders f;
  RecordingFeedback feedback;
  schema::Schema layout = schema::ShippedSchema();
  std::unique_ptr<ActivityLog> log;
  std::optional<RunContext> runContext;
};

class RunFixture : public ::testing::Test, public RunSetup {};

// The scratch database skeleton a run copies: the empty tables tblImport and tblVat.
void MakeScratchSkeleton(const std::filesystem::path& file);

// The Active.log messages without their date, time and mode word. A run's duration in the
// summary line reads "M minutes and S seconds", a phase's "took S seconds", whatever it was.
std::vector<std::string> LogMessages(const std::filesystem::path& logFile);

}  // namespace rivanet::test
