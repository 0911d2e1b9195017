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
#include "workspace/Schema.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"

namespace rivanet::test {

// An application folder with a settings file and a small skeleton, plus an input folder of
// workspaces: enough for a run's checks, preparation and closing pass.
struct RunFolders {
  std::filesystem::path app;
  std::filesystem::path input;
  std::filesystem::path output;
  std::filesystem::path list;
};

// Lays out app/ (RivanetAppend.ini naming Skel, Skel/ with the workspace folders, a top file
// and the empty tables the table phase reads from the Work folder), input/, output/ under `root`.
RunFolders MakeRunFolders(const std::filesystem::path& root);

// A workspace folder holding the four grid folders (all but those in `missingGrids`, given
// as "drainage/cat" etc.) and the text files named in `textFiles` (content = "<ws>:<name>").
void MakeWorkspace(const std::filesystem::path& input, const std::string& name,
                   const std::vector<std::string>& textFiles = {"notes.txt"},
                   const std::vector<std::string>& missingGrids = {});

// A test with its own run folders and a run context on them whose feedback records what the
// run did to it.
class RunFixture : public ::testing::Test {
 protected:
  RunFixture() : f(MakeRunFolders(dir.Path())) {}

  // A fresh log and context for one run in the given mode.
  RunContext& Context(bool interactive) {
    log = std::make_unique<ActivityLog>(*files, f.app, interactive);
    runContext.emplace(RunContext{f.app, interactive, *files, *log, feedback, schema::ShippedSchema()});
    return *runContext;
  }
  std::vector<std::string> Log() const;

  std::unique_ptr<FileSystem> files = MakeFileSystem();
  TempDir dir;
  RunFolders f;
  RecordingFeedback feedback;
  std::unique_ptr<ActivityLog> log;
  std::optional<RunContext> runContext;
};

// The Active.log messages without their date, time and mode word. A run's duration in the
// summary line reads "M minutes and S seconds", whatever it was.
std::vector<std::string> LogMessages(const std::filesystem::path& logFile);

}  // namespace rivanet::test
