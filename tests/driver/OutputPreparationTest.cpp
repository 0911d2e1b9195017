#include <gtest/gtest.h>

#include "driver/OutputPreparation.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"
#include "support/RecordingFeedback.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::LogMessages;
using test::ReadFile;
using test::RecordingFeedback;
using test::TempDir;
using test::WriteFile;

using OutputPreparationTest = test::RunFixture;

TEST_F(OutputPreparationTest, EarlierResultIsReplacedAndOtherFilesStay) {
  const fs::path out = f.output;
  WriteFile(out / "drainage/cat/cat.tif", "old grid");  // other letter case than the skeleton's
  WriteFile(out / "elev_unit/elev_cm/elev_cm.tif", "old");
  WriteFile(out / "fac_fdr_unit/fac/fac.tif", "old");
  WriteFile(out / "hydrography/RVXLine.shp", "old features");
  WriteFile(out / "hydrologicunits/old.shp", "old");
  WriteFile(out / "RVXFlow.dbf", "old rows");
  WriteFile(out / "notes.txt", "mine");
  WriteFile(out / "other/keep.dat", "mine");

  auto& ctx = Context(false);
  PrepareOutput(ctx, f.app / "Skel", out);

  EXPECT_FALSE(fs::exists(out / "drainage/cat"));
  EXPECT_EQ(ReadFile(files->Resolve(out / "Drainage/catchment.shp")), "skel-catchment");
  EXPECT_TRUE(fs::is_empty(out / "elev_unit"));
  EXPECT_TRUE(fs::is_empty(out / "fac_fdr_unit"));
  EXPECT_EQ(ReadFile(out / "hydrography/RVXLine.shp"), "skel-line");
  EXPECT_FALSE(fs::exists(out / "hydrologicunits/old.shp"));
  EXPECT_EQ(ReadFile(out / "RVXFlow.dbf"), "skel-flow");
  EXPECT_EQ(ReadFile(out / "notes.txt"), "mine");
  EXPECT_EQ(ReadFile(out / "other/keep.dat"), "mine");
  // The Work folder is a second copy of the skeleton.
  EXPECT_EQ(ReadFile(f.app / "Work/hydrography/RVXLine.shp"), "skel-line");
  EXPECT_EQ(ReadFile(f.app / "Work/RVXFlow.dbf"), "skel-flow");
}

TEST_F(OutputPreparationTest, LeftoverWorkFolderIsReusedAndOverwritten) {
  WriteFile(f.app / "Work/RVXFlow.dbf", "leftover rows");
  WriteFile(f.app / "Work/stray.dbf", "stray");
  auto& ctx = Context(false);
  PrepareOutput(ctx, f.app / "Skel", f.output);
  EXPECT_EQ(ReadFile(f.app / "Work/RVXFlow.dbf"), "skel-flow");
  EXPECT_EQ(ReadFile(f.app / "Work/stray.dbf"), "stray");
}

TEST_F(OutputPreparationTest, SkeletonWithoutFoldersOrFilesAndMissingOutputFail) {
  auto& ctx = Context(false);
  fs::create_directories(dir / "flat");
  WriteFile(dir / "flat/RVXFlow.dbf", "x");
  EXPECT_THROW(PrepareOutput(ctx, dir / "flat", f.output), AppError);

  fs::create_directories(dir / "nofiles/hydrography");
  EXPECT_THROW(PrepareOutput(ctx, dir / "nofiles", f.output), AppError);

  try {
    PrepareOutput(ctx, f.app / "Skel", dir / "absent");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_NE(e.Description().find((dir / "absent/elev_unit").string()), std::string::npos);
  }
}

TEST_F(OutputPreparationTest, SkeletonFolderComesFromTheSettings) {
  auto& ctx = Context(/*interactive=*/true);
  EXPECT_EQ(FindSkeletonFolder(ctx), f.app / "Skel");

  WriteFile(f.app / "RivanetAppend.ini", "[Working]\nSkelPath=Gone\n");
  EXPECT_EQ(FindSkeletonFolder(ctx), std::nullopt);
  const std::string message = "The " + (f.app / "Gone").string() + " folder is missing";
  EXPECT_EQ(feedback.Boxes(), std::vector<std::string>{message});
  EXPECT_EQ(Log(), std::vector<std::string>{message});

  // No value: the application folder itself is the skeleton.
  fs::remove(f.app / "RivanetAppend.ini");
  EXPECT_EQ(FindSkeletonFolder(ctx)->string(), f.app.string() + "/");
}

}  // namespace
}  // namespace rivanet
