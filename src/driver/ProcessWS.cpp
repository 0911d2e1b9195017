#include "driver/ProcessWS.h"

#include <chrono>
#include <optional>
#include <string>

#include "driver/Elapsed.h"
#include "driver/FolderRelations.h"
#include "driver/ListCheck.h"
#include "driver/OutputPreparation.h"
#include "driver/SkeletonCheck.h"
#include "features/FeaturePhase.h"
#include "grids/GridPhase.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"
#include "runctl/RunMessages.h"
#include "runctl/WorkspaceList.h"
#include "tables/TablePhase.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

std::int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

const char* StatusWord(RunStatus status) {
  switch (status) {
    case RunStatus::Failed:
      return "Failed";
    case RunStatus::Cancelled:
      return "Cancelled";
    case RunStatus::Succeeded:
      break;
  }
  return "Succeeded";
}

// Copies each workspace's text files into the output (a later workspace's file replaces an
// earlier one's) and logs one line per workspace, in list order.
void ClosingPass(RunContext& ctx, const fs::path& inputFolder, const fs::path& outputFolder,
                 const fs::path& listFile) {
  WorkspaceList list(ctx.files, listFile);
  std::string name;
  while (list.Next(name)) {
    // A workspace without text files simply has none to contribute.
    ctx.files.CopyMatchingFiles(inputFolder / name / "*.txt", outputFolder);
    ctx.log.LogEvent(VersionText() + " processed folder " + name + " from input file " +
                     DisplayPath(listFile));
  }
}

// What the closing sequence needs to know of how far a run came.
struct RunState {
  RunStatus status = RunStatus::Succeeded;
  // False when a folder check found something the run must keep inside Work or Temp.
  bool removeScratch = true;
};

// Records a failed folder check in `state`; true when the check passed.
bool Passed(FolderCheck check, RunState& state) {
  if (check == FolderCheck::RefusedInScratch) state.removeScratch = false;
  return check == FolderCheck::Passed;
}

// The work of a run up to its closing sequence. Every check that can fail comes before the
// output preparation, the first step that deletes anything.
RunStatus RunStages(RunContext& ctx, const fs::path& inputFolder, const fs::path& outputFolder,
                    const fs::path& listFile, RunState& state) {
  const std::optional<fs::path> skeleton = FindSkeletonFolder(ctx);
  if (!skeleton || !CheckSettingsValues(ctx)) return RunStatus::Failed;
  if (!Passed(CheckFolderPlaces(ctx, inputFolder, outputFolder, *skeleton), state) ||
      !CheckSkeletonContents(ctx, *skeleton))
    return RunStatus::Failed;

  if (ctx.interactive) ctx.feedback.RunStarted();
  ctx.feedback.Status("");

  const std::optional<MosaicInputs> mosaics = CheckWorkspaceList(ctx, inputFolder, listFile);
  if (!mosaics) return RunStatus::Failed;
  if (!Passed(CheckWorkspacePlaces(ctx, outputFolder, listFile, mosaics->workspaces), state))
    return RunStatus::Failed;
  StopIfCancelled(ctx);

  // A run that cannot log what it does must not start deleting: this entry fails first.
  ctx.log.LogEvent(VersionText() + " preparing output folder " + DisplayPath(outputFolder) +
                   " from input file " + DisplayPath(listFile));
  PrepareOutput(ctx, *skeleton, outputFolder);
  StopIfCancelled(ctx);
  AppendFeatureClasses(ctx, inputFolder, outputFolder, WorkFolder(ctx), listFile);
  StopIfCancelled(ctx);
  AppendTables(ctx, inputFolder, outputFolder, WorkFolder(ctx), listFile);
  StopIfCancelled(ctx);
  AppendGrids(ctx, inputFolder, outputFolder, listFile, mosaics->Paths());
  StopIfCancelled(ctx);
  ClosingPass(ctx, inputFolder, outputFolder, listFile);
  return RunStatus::Succeeded;
}

}  // namespace

RunStatus ProcessWS(RunContext& ctx, const fs::path& inputFolder, const fs::path& outputFolder,
                    const fs::path& listFile) {
  const std::int64_t start = NowMilliseconds();
  RunState state;
  RunStatus& status = state.status;

  InProcedure("ProcessWS", [&] {
    try {
      status = RunStages(ctx, inputFolder, outputFolder, listFile, state);
    } catch (const RunCancelled&) {
      status = RunStatus::Cancelled;
    }

    // The closing sequence, the same for every run that reaches it.
    if (ctx.interactive) ctx.feedback.RunEnded();
    const ElapsedTime elapsed = SplitElapsed(NowMilliseconds() - start);
    ctx.log.LogEvent(VersionText() + " processed " + DisplayPath(listFile) + " and ran for " +
                     std::to_string(elapsed.minutes) + " minutes and " +
                     std::to_string(elapsed.seconds) + " seconds and " + StatusWord(status));
    if (status == RunStatus::Failed) {
      const std::string title = kAppTitle;
      Tell(ctx, MessageKind::WindowOnly,
           title + " encountered data errors during processing.  Please check the log file (" +
               title + ".log).");
      ctx.log.LogEvent(title + " encountered data errors during processing of input file - " +
                       DisplayPath(listFile));
    }
    // The scratch folders go with every run that reaches its end, cancelled ones included.
    if (state.removeScratch) {
      for (const fs::path& scratch : {WorkFolder(ctx), TempFolder(ctx)})
        if (ctx.files.FolderExists(scratch)) ctx.files.DeleteFolder(scratch);
    }
  });

  // From the first log copy on, nothing can fail the run any more.
  ctx.log.TryMakeLogCopy();
  if (ctx.interactive) ctx.feedback.Status("Finished running " + VersionText());
  ctx.log.TryMakeLogCopy();
  Tell(ctx, MessageKind::WindowOnly, "Finished running " + DisplayPath(listFile));
  return status;
}

}  // namespace rivanet
