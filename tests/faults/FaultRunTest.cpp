// Runs the real executable as a batch job into faults: an output folder it may not write, a
// disk that fills up and a kill in the middle of each phase. Whatever happened, the inputs are
// as they were, the output opens, the log reads, and the next run of the job succeeds and
// leaves nothing behind that a clean run would not.

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <regex>
#include <set>
#include <thread>

#include "platform/Text.h"
#include "platform/gis/GdalSupport.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"
#include "workspace/Schema.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::ProgramResult;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr uid_t kNobody = 65534;

enum class Phase { Features, Tables, Grids };
enum class Kind { ReadOnlyOutput, DiskFull, Killed };

// The log entry that ends each phase, in run order.
constexpr const char* kPhaseEnds[] = {"Feature class phase took", "Table phase took",
                                      "Grid phase took"};
const char* PhaseEnd(Phase phase) { return kPhaseEnds[static_cast<int>(phase)]; }
// The log entry that shows the phase before `phase` has ended.
const char* Before(Phase phase) {
  return phase == Phase::Features ? " preparing output folder "
                                  : kPhaseEnds[static_cast<int>(phase) - 1];
}

struct Fault {
  const char* name;
  Kind kind;
  Phase phase;
  // Killed: the run is killed once its standard error holds this status text or, given as
  // "file in <folder>", once that output folder holds a file (the phase has begun writing it).
  const char* killAfter = "";
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every file and folder under `root`, by relative path: what a run left behind.
std::set<std::string> Names(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root))
    names.insert(e.path().lexically_relative(root).string());
  return names;
}

// Removes from each workspace every file of the feature classes (and, with `tables`, of the
// tables), so that a run skips them and the later phases write the largest files.
void Strip(const fs::path& input, bool tables) {
  const schema::Schema& layout = schema::ShippedSchema();
  std::vector<fs::path> doomed;
  for (const auto& e : fs::recursive_directory_iterator(input)) {
    const std::string name = e.path().filename().string();
    const auto named = [&](const auto& item) {
      return SameIgnoringCase(item.name, name.substr(0, name.find('.')));
    };
    if (e.is_regular_file() && (std::ranges::any_of(layout.featureClasses, named) ||
                                (tables && std::ranges::any_of(layout.tables, named))))
      doomed.push_back(e.path());
  }
  for (const auto& file : doomed) fs::remove(file);
}

// --- Reading the output back.

std::vector<std::string> ReadVector(const fs::path& file) {
  gis::DatasetPtr ds(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!ds || ds->GetLayerCount() != 1) return {"does not open"};
  OGRLayer* layer = ds->GetLayer(0);
  const GIntBig announced = layer->GetFeatureCount(FALSE);
  GIntBig read = 0;
  for (gis::FeaturePtr f(layer->GetNextFeature()); f; f.reset(layer->GetNextFeature())) ++read;
  if (read != announced)
    return {"holds " + std::to_string(announced) + " features, " + std::to_string(read) + " read"};
  return {};
}

// The cells of the grid, or a problem.
std::vector<std::string> ReadGrid(const fs::path& file, std::vector<std::int64_t>& cells) {
  gis::DatasetPtr ds(GDALDataset::Open(file.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!ds || ds->GetRasterCount() < 1) return {"does not open as a grid"};
  const int cols = ds->GetRasterXSize(), rows = ds->GetRasterYSize();
  cells.resize(static_cast<std::size_t>(cols) * rows);
  if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, cols, rows, cells.data(), cols, rows, GDT_Int64,
                                     0, 0) != CE_None)
    return {"its cells do not read"};
  return {};
}

// Opens and reads each shapefile, dBASE table and grid under `output`, printing every problem
// met: all features and rows must read, and a file under a grid's name (<name>/<name>.tif) must
// be the whole grid, the one a clean run of the same job writes (the same file in `finished`).
// Other .tif files are a killed writer's scratch, which only the next run can clear away.
// The reading is done in a child process, so that a file that crashes GDAL fails the test
// instead of ending it; true when the child met no problem.
bool AllReadable(const fs::path& output, const fs::path& finished) {
  const pid_t pid = ::fork();
  if (pid != 0) {
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
  }
  gis::EnsureGdal();
  std::vector<std::string> messages;
  CPLPushErrorHandlerEx(
      [](CPLErr level, CPLErrorNum, const char* message) {
        if (level >= CE_Warning)
          static_cast<std::vector<std::string>*>(CPLGetErrorHandlerUserData())->push_back(message);
      },
      &messages);
  std::set<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(output))
    if (e.is_regular_file()) files.insert(e.path());
  bool readable = true;
  for (const fs::path& file : files) {
    const std::string ext = file.extension().string();
    const bool grid = ext == ".tif" && file.stem() == file.parent_path().filename();
    if (ext != ".shp" && ext != ".dbf" && !grid) continue;
    const fs::path name = file.lexically_relative(output);
    std::fprintf(stderr, "reading %s\n", name.c_str());  // names the file should GDAL crash
    messages.clear();
    std::vector<std::string> problems;
    if (grid) {
      std::vector<std::int64_t> cells, whole;
      problems = ReadGrid(file, cells);
      if (problems.empty() && fs::exists(finished / name) &&
          (!ReadGrid(finished / name, whole).empty() || cells != whole))
        problems.push_back("is not the whole grid a run writes");
    } else {
      problems = ReadVector(file);
    }
    for (const auto& m : messages) problems.push_back("GDAL: " + m);
    for (const auto& p : problems)
      std::fprintf(stderr, "problem %s: %s\n", name.c_str(), p.c_str());
    readable = readable && problems.empty();
  }
  ::_exit(readable ? 0 : 1);
}

// --- The example job: generated once per test binary, with the result of a clean run.

struct Examples {
  TempDir dir;
  fs::path workspaces;                          // the generated workspaces and workspaces.txt
  fs::path finished;                            // the output of a clean run
  std::set<std::string> cleanApp, cleanOutput;  // what a clean run leaves
  std::vector<std::string> cleanLog;            // and what it logs
};
Examples* examples = nullptr;

class FaultRunTest : public ::testing::TestWithParam<Fault> {
 protected:
  static void SetUpTestSuite() {
    std::signal(SIGPIPE, SIG_IGN);
    examples = new Examples;
    Examples& x = *examples;
    x.workspaces = x.dir / "workspaces";
    const ProgramResult made =
        test::RunProgram(RIVANET_SYNTH_EXE,
                         {"--out", x.workspaces.string(), "--count", "3", "--cells", "256",
                          "--seed", "7", "--threshold", "30"},
                         x.dir.Path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const test::RunFolders f = Job(x.dir / "clean");
    const ProgramResult r = test::RunProgram(RIVANET_EXE, {RunFile(f).string()}, f.app);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    x.finished = f.output;
    x.cleanLog = LastRun(f.app);
    x.cleanApp = Names(f.app);
    x.cleanOutput = Names(f.output);
  }
  static void TearDownTestSuite() { delete std::exchange(examples, nullptr); }

  // Run folders under `root` with the example workspaces as input and a run file beside them.
  static test::RunFolders Job(const fs::path& root) {
    test::RunFolders f = test::MakeRunFolders(root);
    fs::copy(examples->workspaces, f.input, fs::copy_options::recursive);
    f.list = f.input / "workspaces.txt";
    WriteFile(RunFile(f), "[Run]\r\nInputFolder=" + f.input.string() + "\r\nOutputFolder=" +
                              f.output.string() + "\r\nListFile=" + f.list.string() + "\r\n");
    return f;
  }
  static fs::path RunFile(const test::RunFolders& f) { return f.app.parent_path() / "run.ini"; }

  void SetUp() override {
    ASSERT_TRUE(examples && !examples->finished.empty()) << "the example job did not run";
    f = Job(dir.Path());
  }

  ProgramResult Run(const test::BeforeExec& beforeExec = {}) {
    return test::RunProgram(RIVANET_EXE, {RunFile(f).string()}, f.app, beforeExec);
  }

  std::vector<std::string> Log() { return test::LogMessages(f.app / "Active.log"); }

  // The entries of the last run logged in `app`, times and the job's own folder left out.
  static std::vector<std::string> LastRun(const fs::path& app) {
    std::vector<std::string> entries = test::LogMessages(app / "Active.log");
    const auto from = std::find_if(entries.rbegin(), entries.rend(), [](const auto& e) {
      return Contains(e, " preparing output folder ");
    });
    if (from != entries.rend()) entries.erase(entries.begin(), std::prev(from.base()));
    for (std::string& e : entries)
      for (std::size_t at; (at = e.find(app.parent_path().string())) != std::string::npos;)
        e.replace(at, app.parent_path().string().size(), "<job>");
    return entries;
  }
  std::string LogText() { return ReadFile(f.app / "Active.log"); }

  // A run that ends through a fault ends as README promises for a failed run: an error report
  // (status 2, the report is the last entry) or a failed check (status 1, summary Failed).
  void ExpectFailedEnd(const ProgramResult& r) {
    const std::vector<std::string> log = Log();
    ASSERT_FALSE(log.empty());
    if (r.exitCode == 2)
      EXPECT_TRUE(log.back().starts_with("Error ") && Contains(log.back(), " in procedure "))
          << log.back();
    else if (r.exitCode == 1)
      EXPECT_TRUE(std::ranges::any_of(
          log, [](const auto& l) { return l.ends_with(" seconds and Failed"); }));
    else
      ADD_FAILURE() << "exit status " << r.exitCode << "\n" << r.err;
  }

  TempDir dir;
  test::RunFolders f;
};

TEST_P(FaultRunTest, RunEndsCleanlyAndTheNextRunSucceeds) {
  const Fault& fault = GetParam();
  const bool stripFeatures = fault.kind == Kind::DiskFull && fault.phase != Phase::Features;
  if (stripFeatures) Strip(f.input, fault.phase == Phase::Grids);
  const test::Tree input = test::Snapshot(f.input);
  test::BeforeExec asNobody;

  if (fault.kind == Kind::ReadOnlyOutput) {
    // The run goes as an unprivileged user, who owns the application folder and an earlier
    // result in the output folder, but may not change the output folder itself.
    fs::copy(examples->finished, f.output, fs::copy_options::recursive);
    ASSERT_EQ(::chown(dir.Path().c_str(), kNobody, kNobody), 0);
    for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
      ASSERT_EQ(::lchown(e.path().c_str(), kNobody, kNobody), 0);
    fs::permissions(dir.Path(), fs::perms(0755));
    fs::permissions(f.output, fs::perms(0555));
    const test::Tree earlier = test::Snapshot(f.output);
    asNobody = [] {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
        ::_exit(126);
    };
    const ProgramResult r = Run(asNobody);
    ExpectFailedEnd(r);
    EXPECT_TRUE(Contains(LogText() + r.err, f.output.string())) << "the message names no output";
    EXPECT_EQ(test::Changes(earlier, test::Snapshot(f.output)), test::kNoChanges);
    fs::permissions(f.output, fs::perms(0755));
  } else if (fault.kind == Kind::DiskFull) {
    // A limit on the size of any one file the run writes: past it a write fails with EFBIG.
    // Half the largest file of the phase (with the earlier phases' inputs stripped, so that
    // none of them comes near it) lands the first failing write in that phase.
    std::uintmax_t limit = 0;
    for (const fs::path name : examples->cleanOutput)
      if (fault.phase == Phase::Features ? name.extension() == ".shp"
          : fault.phase == Phase::Tables ? name.extension() == ".dbf" && !name.has_parent_path()
                                         : name.filename() == "cat.tif")
        limit = std::max(limit, fs::file_size(examples->finished / name) / 2);
    ASSERT_GT(limit, 16384u);
    const ProgramResult r = Run([limit] {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit lim{limit, limit};
      if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) ::_exit(126);
    });
    ExpectFailedEnd(r);
    EXPECT_TRUE(Contains(LogText(), Before(fault.phase))) << "the limit hit before the phase";
    EXPECT_FALSE(Contains(LogText(), PhaseEnd(fault.phase))) << "the phase ended regardless";
    EXPECT_TRUE(Contains(LogText(), "File too large")) << "the report gives no reason";
  } else {
    const std::string killAfter = fault.killAfter;
    const bool byFile = killAfter.rfind("file in ", 0) == 0;
    const fs::path watched = f.output / (byFile ? killAfter.substr(8) : "");
    test::StartedProgram run(RIVANET_EXE, {RunFile(f).string()}, f.app);
    const auto reached = [&] {
      if (!byFile) return Contains(run.ErrSoFar(), killAfter);
      std::error_code ec;
      return fs::directory_iterator(watched, ec) != fs::directory_iterator();
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool killed = false;
    while (!killed && run.Running() && std::chrono::steady_clock::now() < until) {
      if (reached()) killed = ::kill(run.Pid(), SIGKILL) == 0;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const ProgramResult r = run.Wait();
    ASSERT_TRUE(killed) << "the run never reached the point to kill it\n" << r.err;
    EXPECT_EQ(r.exitCode, -1) << "the run ended before it was killed";
    EXPECT_FALSE(Contains(LogText(), PhaseEnd(fault.phase))) << "killed after the phase";
  }

  // What the fault left: the inputs as they were, the log whole (nothing left of it once its
  // dated CR LF entries are taken out), no run reported a success, the skeleton or what was
  // finished in the output, and all of it readable.
  EXPECT_EQ(test::Changes(input, test::Snapshot(f.input)), test::kNoChanges);
  static const std::regex entry(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d Batch Run - [^\r\n]+\r\n)");
  EXPECT_EQ(std::regex_replace(LogText(), entry, ""), "") << LogText();
  EXPECT_FALSE(Contains(LogText(), "Succeeded\r\n")) << LogText();
  for (const auto& e : fs::recursive_directory_iterator(test::ShippedSkeleton()))
    EXPECT_TRUE(fs::exists(f.output / e.path().lexically_relative(test::ShippedSkeleton())))
        << e.path();
  EXPECT_TRUE(AllReadable(f.output, examples->finished)) << "problems printed above";

  // The same job again, without the fault.
  const ProgramResult again = Run(asNobody);
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(Log().back().ends_with(" seconds and Succeeded")) << Log().back();
  if (!stripFeatures) {
    EXPECT_EQ(LastRun(f.app), examples->cleanLog);
  }
  EXPECT_EQ(Names(f.app), examples->cleanApp);
  EXPECT_EQ(Names(f.output), examples->cleanOutput);
  EXPECT_TRUE(AllReadable(f.output, examples->finished)) << "problems printed above";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultRunTest,
    ::testing::Values(Fault{"ReadOnlyOutput", Kind::ReadOnlyOutput, Phase::Features},
                      Fault{"DiskFullInFeatures", Kind::DiskFull, Phase::Features},
                      Fault{"DiskFullInTables", Kind::DiskFull, Phase::Tables},
                      Fault{"DiskFullInGrids", Kind::DiskFull, Phase::Grids},
                      Fault{"KilledInFeatures", Kind::Killed, Phase::Features,
                            "Appending RVXFlowline for Workspace: unit_U002"},
                      Fault{"KilledInTables", Kind::Killed, Phase::Tables,
                            "Appending RVXFlowlineVaa for Workspace: unit_U002"},
                      Fault{"KilledInMosaic", Kind::Killed, Phase::Grids,
                            "file in elev_unit/elev_cm"},
                      Fault{"KilledInCatchmentTable", Kind::Killed, Phase::Grids,
                            "Updating Cat grid for Workspace: unit_U001"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace rivanet
