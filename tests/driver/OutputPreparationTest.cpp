#include <gtest/gtest.h>

#include "driver/OutputPreparation.h"
#include "support/Workspaces.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

using OutputPreparationTest = test::RunFixture;

std::string Skeleton(const std::string& item) { return ReadFile(test::ShippedSkeleton() / item); }

TEST_F(OutputPreparationTest, EarlierResultIsReplacedOtherFilesStayAndWorkIsReused) {
  const fs::path out = f.output;
  WriteFile(out / "drainage/cat/cat.tif", "old grid");  // other letter case than the skeleton's
  WriteFile(out / "elev_unit/elev_cm/elev_cm.tif", "old");
  WriteFile(out / "fac_fdr_unit/fac/fac.tif", "old");
  WriteFile(out / "hydrography/RVXLine.shp", "old features");
  WriteFile(out / "hydrologicunits/old.shp", "old");
  WriteFile(out / "RVXFlow.dbf", "old rows");
  WriteFile(out / "notes.txt", "mine");
  WriteFile(out / "other/keep.dat", "mine");
  WriteFile(f.app / "Work/RVXFlow.dbf", "leftover rows");
  WriteFile(f.app / "Work/stray.dbf", "stray");

  PrepareOutput(Context(false), f.app / "Skel", out);

  EXPECT_FALSE(fs::exists(out / "drainage/cat"));
  EXPECT_EQ(ReadFile(files->Resolve(out / "Drainage/catchment.shp")), Skeleton("Drainage/catchment.shp"));
  EXPECT_TRUE(fs::is_empty(out / "elev_unit"));
  EXPECT_TRUE(fs::is_empty(out / "fac_fdr_unit"));
  EXPECT_EQ(ReadFile(out / "hydrography/RVXLine.shp"), Skeleton("hydrography/RVXLine.shp"));
  EXPECT_FALSE(fs::exists(out / "hydrologicunits/old.shp"));
  EXPECT_EQ(ReadFile(out / "RVXFlow.dbf"), Skeleton("RVXFlow.dbf"));
  EXPECT_EQ(ReadFile(out / "notes.txt"), "mine");
  EXPECT_EQ(ReadFile(out / "other/keep.dat"), "mine");
  // The Work folder is a second copy of the skeleton; a leftover one is reused.
  EXPECT_EQ(test::Changes(test::Snapshot(test::ShippedSkeleton()), test::Snapshot(f.app / "Work", {"stray.dbf"})),
            test::kNoChanges);
  EXPECT_EQ(ReadFile(f.app / "Work/stray.dbf"), "stray");
}

}  // namespace
}  // namespace rivanet
