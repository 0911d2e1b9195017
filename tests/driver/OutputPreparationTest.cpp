#include <gtest/gtest.h>

#include "driver/OutputPreparation.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/ActivityLog.h"
#include "runctl/RunContext.h"
#include "support/RecordingWindow.h"
#include "support/TempDir.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::LogMessages;
using test::ReadFile;
using test::RecordingWindow;
using test::TempDir;
using test::WriteFile;

class OutputPreparationTest : public ::testing::Test {
 protected:
  void SetUp() override { folders = test::MakeRunFolders(dir.Path()); }
  RunContext Context(bool interactive = false) {
    log = std::make_unique<ActivityLog>(*files, folders.app, interactive);
    return RunContext{folders.app, interactive, *files, *log, window};
  }

  std::unique_ptr<FileSystem> files = MakeFileSystem();
  TempDir dir;
  test::RunFolders folders;
  RecordingWindow window;
  std::unique_ptr<ActivityLog> log;
};

TEST_F(OutputPreparationTest, EarlierResultIsReplacedAndOtherFilesStay) {
  const fs::path out = folders.output;
  WriteFile(out / "drainage/cat/cat.tif", "old grid");  // other letter case than the skeleton's
  WriteFile(out / "elev_unit/elev_cm/elev_cm.tif", "old");
  WriteFile(out / "fac_fdr_unit/fac/fac.tif", "old");
  WriteFile(out / "hydrography/RVXLine.shp", "old features");
  WriteFile(out / "hydrologicunits/old.shp", "old");
  WriteFile(out / "RVXFlow.dbf", "old rows");
  WriteFile(out / "notes.txt", "mine");
  WriteFile(out / "other/keep.dat", "mine");

  auto ctx = Context();
  PrepareOutput(ctx, folders.app / "Skel", out);

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
  EXPECT_EQ(ReadFile(folders.app / "Work/hydrography/RVXLine.shp"), "skel-line");
  EXPECT_EQ(ReadFile(folders.app / "Work/RVXFlow.dbf"), "skel-flow");
}

TEST_F(OutputPreparationTest, LeftoverWorkFolderIsReusedAndOverwritten) {
  WriteFile(folders.app / "Work/RVXFlow.dbf", "leftover rows");
  WriteFile(folders.app / "Work/stray.dbf", "stray");
  auto ctx = Context();
  PrepareOutput(ctx, folders.app / "Skel", folders.output);
  EXPECT_EQ(ReadFile(folders.app / "Work/RVXFlow.dbf"), "skel-flow");
  EXPECT_EQ(ReadFile(folders.app / "Work/stray.dbf"), "stray");
}

TEST_F(OutputPreparationTest, SkeletonWithoutFoldersOrFilesAndMissingOutputFail) {
  auto ctx = Context();
  fs::create_directories(dir / "flat");
  WriteFile(dir / "flat/RVXFlow.dbf", "x");
  EXPECT_THROW(PrepareOutput(ctx, dir / "flat", folders.output), AppError);

  fs::create_directories(dir / "nofiles/hydrography");
  EXPECT_THROW(PrepareOutput(ctx, dir / "nofiles", folders.output), AppError);

  try {
    PrepareOutput(ctx, folders.app / "Skel", dir / "absent");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_NE(e.Description().find((dir / "absent/elev_unit").string()), std::string::npos);
  }
}

TEST_F(OutputPreparationTest, SkeletonFolderComesFromTheSettings) {
  auto ctx = Context(/*interactive=*/true);
  EXPECT_EQ(FindSkeletonFolder(ctx), folders.app / "Skel");

  WriteFile(folders.app / "RivanetAppend.ini", "[Working]\nSkelPath=Gone\n");
  EXPECT_EQ(FindSkeletonFolder(ctx), std::nullopt);
  const std::string message = "The " + (folders.app / "Gone").string() + " folder is missing";
  EXPECT_EQ(window.Boxes(), std::vector<std::string>{message});
  EXPECT_EQ(LogMessages(folders.app / "Active.log"), std::vector<std::string>{message});

  // No value: the application folder itself is the skeleton.
  fs::remove(folders.app / "RivanetAppend.ini");
  EXPECT_EQ(FindSkeletonFolder(ctx)->string(), folders.app.string() + "/");
}

}  // namespace
}  // namespace rivanet
