#include "tables/TablePhase.h"

#include <algorithm>
#include <string>

#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/PhaseTimer.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"
#include "runctl/RunMessages.h"
#include "runctl/WorkspaceList.h"
#include "tables/AppendTable.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

using tables::AppendCounts;
using tables::TargetTables;

constexpr const char* kMetadata = "RVXMetadata";

// The scratch database lives in the Work folder, which the run owns, under a name no file of
// the skeleton has taken.
fs::path ScratchFile(const FileSystem& files, const fs::path& work) {
  for (int n = 1;; ++n) {
    std::string name = "TablePhase";
    if (n > 1) (name += '-') += std::to_string(n);
    fs::path file = work / (name + ".sqlite");
    if (!files.FileExists(file) && !files.FolderExists(file)) return file;
  }
}

std::string Rows(std::int64_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

void LogCounts(RunContext& ctx, const std::string& what, const std::string& table,
               const AppendCounts& c, bool fromWorkspaces) {
  std::string text = what + ": " + Rows(c.read) + " read";
  if (fromWorkspaces)
    text += " from " + std::to_string(c.sources) + (c.sources == 1 ? " workspace" : " workspaces");
  text += ", " + std::to_string(c.appended) + " appended";
  if (table == kMetadata) text += ", " + std::to_string(c.zeroDuuid) + " passed over for DUUID 0";
  text += ", " + std::to_string(c.Repeats()) + " passed over as repeated rows";
  ctx.log.LogEvent(text);
}

// The write that ends the appends into an output table: in the old engine's terms the copy of
// the working table back over the target, so a failure is AppendTable's.
void WriteTarget(TargetTables& targets, const fs::path& folder, const std::string& table) {
  InProcedure("AppendTable", [&] { targets.Finish(folder, table); });
}

// When the appends into a table stop early, the appends already done stay in the table, as
// they would have one by one; the error that stopped them is what the user hears of.
void KeepWhatWasAppended(TargetTables& targets, const fs::path& folder, const std::string& table) {
  try {
    targets.FinishEarly(folder, table);
  } catch (...) {  // NOLINT(bugprone-empty-catch): the first error is the one to report
  }
}

// Appends `table` of every listed workspace that has it into the table in `target`.
AppendCounts ProcessWSList2(RunContext& ctx, TargetTables& targets, const fs::path& input,
                            const fs::path& target, const std::string& table,
                            const fs::path& list) {
  AppendCounts counts;
  InProcedure("ProcessWSList2", [&] {
    try {
      WorkspaceList workspaces(ctx.files, list);
      std::string name;
      while (workspaces.Next(name)) {
        StopIfCancelled(ctx);
        const fs::path workspace = input / name;
        // A workspace without the table has nothing to add: no message, no log line.
        if (!ctx.files.FileExists(workspace / (table + ".dbf"))) continue;
        ctx.feedback.Status(
            std::string("Appending ").append(table).append(" for Workspace: ").append(name));
        tables::AppendTable(ctx, targets, workspace, target, table, counts);
      }
    } catch (...) {
      KeepWhatWasAppended(targets, target, table);
      throw;
    }
    WriteTarget(targets, target, table);
  });
  return counts;
}

// One append from the table in `source` into the table in `target`.
AppendCounts ProcessWSList3(RunContext& ctx, TargetTables& targets, const fs::path& source,
                            const fs::path& target, const std::string& table) {
  AppendCounts counts;
  InProcedure("ProcessWSList3", [&] {
    ctx.feedback.Status("Appending " + table);
    tables::AppendTable(ctx, targets, source, target, table, counts);
    WriteTarget(targets, target, table);
  });
  return counts;
}

}  // namespace

void AppendTables(RunContext& ctx, const fs::path& input, const fs::path& output,
                  const fs::path& work, const fs::path& list) {
  PhaseTimer timer(ctx, "Table phase");
  tables::TableStage stage(ScratchFile(ctx.files, work));
  TargetTables targets(ctx.files, stage, work);

  const std::vector<schema::AppendStep>& steps = ctx.layout.tableSteps;
  const int total = static_cast<int>(steps.size()) +
                    static_cast<int>(std::count_if(steps.begin(), steps.end(),
                                                   [](const auto& s) { return s.viaWork; }));
  int done = 0;
  const auto nextTable = [&] {
    StopIfCancelled(ctx);
    ctx.feedback.Progress({"Tables", done++, total});
  };

  for (std::size_t i = 0; i < steps.size();) {
    if (!steps[i].viaWork) {
      nextTable();
      const std::string& table = steps[i].name;
      LogCounts(ctx, table, table, ProcessWSList2(ctx, targets, input, output, table, list), true);
      ++i;
      continue;
    }
    // Consecutive Work folder tables: all of them are collected there, then all go on.
    std::size_t end = i;
    while (end < steps.size() && steps[end].viaWork) ++end;
    for (std::size_t k = i; k < end; ++k) {
      nextTable();
      const std::string& table = steps[k].name;
      LogCounts(ctx, table + " into the Work folder", table,
                ProcessWSList2(ctx, targets, input, work, table, list), true);
    }
    for (std::size_t k = i; k < end; ++k) {
      nextTable();
      const std::string& table = steps[k].name;
      const AppendCounts counts = ProcessWSList3(ctx, targets, work, output, table);
      targets.Forget(work, table);
      LogCounts(ctx, table + " from the Work folder", table, counts, false);
    }
    i = end;
  }
  timer.Finish();
}

}  // namespace rivanet
