#include "features/ExtentRepair.h"

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/FeatureCopy.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/Shapefile.h"
#include "platform/gis/ShapefileExtent.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

constexpr const char* kTemporary = "catchtemp";

}  // namespace

void RepairExtent(RunContext& ctx, const fs::path& folder, const std::string& name,
                  const std::optional<gis::Extent>& shapes) {
  ctx.feedback.Status("Fixing Extents for " + name);
  const fs::path where = ctx.files.Resolve(folder);
  if (!gis::FindShapefile(where, name))
    throw gis::FileError(kErrFileNotFound, "Cannot fix the extent of a missing feature class",
                         where / (name + ".shp"));
  const gis::Extent actual = shapes ? *shapes : gis::ShapesExtent(where, name);
  const gis::HeaderExtents stated = gis::ReadHeaderExtents(where, name);
  if (stated.shp == actual && stated.shx == actual) return;

  gis::CopyFeatureClass(where, name, kTemporary);
  try {
    // The copy's headers come from GDAL, which starts the bounds at the first record even
    // when that has no shape: they are set to the shapes' extent before the copy takes over.
    if (const gis::HeaderExtents copied = gis::ReadHeaderExtents(where, kTemporary);
        copied.shp != actual || copied.shx != actual)
      gis::WriteHeaderExtents(where, kTemporary, actual);
    gis::DeleteShapefile(where, name);
    gis::RenameShapefile(where, kTemporary, name);
  } catch (const AppError& e) {
    throw AppError(e.Number(),
                   e.Description() + " (the features of " + name + " are kept in " +
                       DisplayPath(where / (std::string(kTemporary) + ".shp")) + ")",
                   e.Scheme());
  }
}

}  // namespace rivanet
