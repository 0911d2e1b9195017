#include "app/Startup.h"

#include <iostream>

#include "app/CancelSignals.h"
#include "driver/ProcessWS.h"
#include "platform/Error.h"
#include "platform/files/FileLock.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/BatchFeedback.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunLock.h"
#include "runctl/Settings.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

const char* const kUsage =
    "Usage: RivanetAppend [RUNFILE | --help | --version]\n"
    "  RUNFILE    run one append in batch: a settings-style file with a [Run] section\n"
    "             naming InputFolder, OutputFolder and ListFile\n"
    "  (nothing)  open the window for an interactive run\n"
    "Exit status: 0 succeeded, 1 failed (data errors, see the log), 2 ended by an error\n"
    "report, refused because another run uses the application folder or because that folder\n"
    "cannot be made, 3 the run file does not exist, 130/143 cancelled by Ctrl-C/SIGTERM.\n"
    "See rivanetappend(1).\n";

fs::path Absolute(const fs::path& p) {
  std::error_code ec;
  fs::path result = fs::absolute(p, ec);
  return ec ? p : result;
}

// A run that cannot start says why on standard error only: the log, Work and Temp may
// belong to a run in progress.
int RefuseToStart(const StartupEnvironment& env, const AppError& reason) {
  *env.err << ErrorReportText(reason, "Main", kModuleSubMain) << std::endl;
  return kExitErrorReport;
}

int RunBatch(const StartupEnvironment& env, const std::string& path) {
  // One run per application folder, for the whole run: two runs would share Work, Temp and
  // the log. The lock is taken before anything in the folder is written.
  std::optional<FileLock> lock;
  try {
    lock = LockApplicationFolder(env.appFolder.folder);
  } catch (const AppError& e) {
    return RefuseToStart(env, e);
  }

  auto files = MakeFileSystem();
  ActivityLog log(*files, env.appFolder.folder, /*interactive=*/false, env.err);
  BatchFeedback feedback(*env.err);
  const CancelSignals signals(feedback);
  RunContext ctx{env.appFolder.folder, false, *files, log, feedback, schema::ShippedSchema()};
  try {
    if (!files->FileExists(path)) {
      log.LogEvent(path + " was not a valid file/database");
      log.TryMakeLogCopy();
      return kExitNoRunFile;
    }
    const RunFile run = InProcedure(
        "Main", [&] { return ReadRunFile(Absolute(path), *files); }, kModuleSubMain,
        ErrorTail::WithoutLogCopy);
    const RunStatus status = ProcessWS(ctx, run.inputFolder, run.outputFolder, run.listFile);
    log.TryMakeLogCopy();
    switch (status) {
      case RunStatus::Succeeded:
        return kExitSucceeded;
      case RunStatus::Cancelled:
        if (signals.ExitStatus() != 0) return signals.ExitStatus();
        break;
      case RunStatus::Failed:
        break;
    }
    return kExitFailed;
  } catch (const ReportedError& error) {
    return EndWithReport(ctx, error);
  } catch (const LogWriteFailure& failure) {
    return EndWithLogFailure(ctx, failure);
  }
}

}  // namespace

std::string CommandLinePath(const std::vector<std::string>& args) {
  std::string line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) line += ' ';
    line += args[i];
  }
  std::string path;
  for (char c : line)
    if (c != '"') path += c;
  const auto first = path.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return path.substr(first, path.find_last_not_of(' ') - first + 1);
}

RunFile ReadRunFile(const fs::path& file, const FileSystem& files) {
  auto value = [&](const char* key) {
    std::optional<std::string> v = FindIniValue("Run", key, file, files);
    if (!v || v->empty())
      throw AppError(kErrInvalidArgument, std::string("Run file ") + DisplayPath(file) +
                                              " has no " + key + "= in its [Run] section");
    fs::path p(*v);
    return p.is_absolute() ? p : (file.parent_path() / p).lexically_normal();
  };
  RunFile run;
  run.inputFolder = value("InputFolder");
  run.outputFolder = value("OutputFolder");
  run.listFile = value("ListFile");
  return run;
}

int Main(const StartupEnvironment& env) {
  std::ostream& out = env.out != nullptr ? *env.out : std::cout;
  std::ostream& err = env.err != nullptr ? *env.err : std::cerr;
  const std::string path = CommandLinePath(env.args);
  if (path == "--help") {
    out << kUsage << DescribeApplicationFolder(env.appFolder);
    return kExitSucceeded;
  }
  if (path == "--version") {
    out << VersionText() << '\n';
    return kExitSucceeded;
  }
  if (path.empty() && !env.interactive) {
    err << "RivanetAppend: this build has no window; give a run file (see --help)\n";
    return kExitSucceeded;
  }
  // Both run modes need the folder: the log, the settings and the skeleton live there. An
  // installed program makes its per-user folder here, before the first run.
  try {
    PrepareApplicationFolder(env.appFolder);
  } catch (const AppError& e) {
    err << ErrorReportText(e, "Main", kModuleSubMain) << std::endl;
    return kExitErrorReport;
  }
  if (path.empty()) return env.interactive(env.appFolder.folder);
  StartupEnvironment batch = env;
  batch.out = &out;
  batch.err = &err;
  return RunBatch(batch, path);
}

}  // namespace rivanet
