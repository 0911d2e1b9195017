// Times the feature class phase on one class at a time, appended both ways: plainly, and
// keeping the first feature of each Comid. The same features go both ways, so the two times
// say what the Comid de-duplication costs.
//
//   build/bench/rivanet-bench-class-append SET SKELETON [--runs N] [CLASS ...]
//
// SET holds the workspaces and workspaces.txt (as rivanet-synth writes them); SKELETON is the
// skeleton folder (build/app/Skel). Without classes it times RVXArea, RVXLine, RVXPoint and
// RVXWaterbody, the classes a run de-duplicates. Prints one line per class: the median
// seconds of each way and their ratio.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "features/FeaturePhase.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/BatchFeedback.h"
#include "runctl/RunContext.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;
using namespace rivanet;

namespace {

// One append of `name` from every workspace of `set` into a fresh copy of the skeleton.
double AppendOnce(const fs::path& set, const fs::path& skeleton, const std::string& name,
                  bool byComid, const fs::path& scratch) {
  fs::remove_all(scratch);
  for (const char* folder : {"app", "out", "work"}) fs::create_directories(scratch / folder);
  fs::copy(skeleton, scratch / "out", fs::copy_options::recursive);
  fs::copy(skeleton, scratch / "work", fs::copy_options::recursive);

  schema::Schema layout = schema::ShippedSchema();
  layout.featureSteps = {{name, byComid}};
  const auto files = MakeFileSystem();
  std::ostringstream quiet;
  ActivityLog log(*files, scratch / "app", false);
  BatchFeedback feedback(quiet);
  RunContext ctx{scratch / "app", false, *files, log, feedback, layout};

  const auto start = std::chrono::steady_clock::now();
  AppendFeatureClasses(ctx, set, scratch / "out", scratch / "work", set / "workspaces.txt");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SET SKELETON [--runs N] [CLASS ...]\n", argv[0]);
    return 2;
  }
  const fs::path set = fs::absolute(argv[1]);
  const fs::path skeleton = fs::absolute(argv[2]);
  int runs = 5;
  std::vector<std::string> classes;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else
      classes.push_back(arg);
  }
  if (classes.empty()) classes = {"RVXArea", "RVXLine", "RVXPoint", "RVXWaterbody"};
  const fs::path scratch = fs::temp_directory_path() / "rivanet-bench-class-append";
  try {
    for (const std::string& name : classes) {
      std::vector<double> plain, byComid;
      for (int r = 0; r < runs; ++r) {  // alternated, so that both ways meet the same caches
        plain.push_back(AppendOnce(set, skeleton, name, false, scratch));
        byComid.push_back(AppendOnce(set, skeleton, name, true, scratch));
      }
      const double p = Median(plain), c = Median(byComid);
      std::printf("class %s plain %.4f comid %.4f ratio %.2f\n", name.c_str(), p, c, c / p);
    }
  } catch (const AppError& e) {
    std::fprintf(stderr, "%s\n", e.Description().c_str());
    fs::remove_all(scratch);
    return 1;
  }
  fs::remove_all(scratch);
  return 0;
}
