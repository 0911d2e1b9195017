#include "driver/ProcessWS.h"

#include <chrono>
#include <optional>
#include <string>

#include "driver/Elapsed.h"
#include "driver/ListCheck.h"
#include "driver/OutputPreparation.h"
#include "runctl/WorkspaceList.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"
#include "runctl/RunMessages.h"
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
    case RunStatus::Failed: return "Failed";
    case RunStatus::Cancelled: return "Cancelled";
    case RunStatus::Succeeded: break;
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

// The work of a run up to its closing sequence. Returns Failed when a data check failed.
RunStatus RunStages(RunContext& ctx, const fs::path& inputFolder, const fs::path& outputFolder,
                    const fs::path& listFile) {
  const std::optional<fs::path> skeleton = FindSkeletonFolder(ctx);
  if (!skeleton) return RunStatus::Failed;

  if (ctx.interactive) ctx.feedback.RunStarted();
  ctx.feedback.Status("");

  const std::optional<MosaicInputs> mosaics = CheckWorkspaceList(ctx, inputFolder, listFile);
  if (!mosaics) return RunStatus::Failed;
  StopIfCancelled(ctx);

  PrepareOutput(ctx, *skeleton, outputFolder);
  StopIfCancelled(ctx);
  AppendTables(ctx, inputFolder, outputFolder, WorkFolder(ctx), listFile);
  StopIfCancelled(ctx);
  ClosingPass(ctx, inputFolder, outputFolder, listFile);
  return RunStatus::Succeeded;
}

}  // namespace

RunStatus ProcessWS(RunContext& ctx, const fs::path& inputFolder, const fs::path& outputFolder,
                    const fs::path& listFile) {
  const std::int64_t start = NowMilliseconds();
  RunStatus status = RunStatus::Succeeded;

  InProcedure("ProcessWS", [&] {
    try {
      status = RunStages(ctx, inputFolder, outputFolder, listFile);
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
    const fs::path work = WorkFolder(ctx);
    if (ctx.files.FolderExists(work)) ctx.files.DeleteFolder(work);
  });

  // From the first log copy on, nothing can fail the run any more.
  ctx.log.TryMakeLogCopy();
  if (ctx.interactive) ctx.feedback.Status("Finished running " + VersionText());
  ctx.log.TryMakeLogCopy();
  Tell(ctx, MessageKind::WindowOnly, "Finished running " + DisplayPath(listFile));
  return status;
}

}  // namespace rivanet
