#include "grids/GridPhase.h"

#include <cctype>
#include <optional>
#include <string>

#include "grids/CatchmentVat.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/GridMosaic.h"
#include "platform/gis/GridTools.h"
#include "platform/gis/GridVat.h"
#include "runctl/ActivityLog.h"
#include "runctl/PhaseTimer.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"
#include "runctl/RunMessages.h"
#include "runctl/Settings.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

// The DEFLATE level from the settings file ([Working] GridCompressionLevel), or the default.
gis::GridEncoding Encoding(const RunContext& ctx) {
  gis::GridEncoding encoding;
  const fs::path settings = ctx.appFolder / (std::string(kAppTitle) + ".ini");
  if (const std::optional<int> level = ReadGridCompressionLevel(settings, ctx.files))
    encoding.deflateLevel = *level;
  return encoding;
}

// "Cat", "Elev_cm": the grid's name as the status texts show it.
std::string Shown(std::string name) {
  if (!name.empty()) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  return name;
}

gis::CellType CellTypeOf(schema::CellType type) {
  return type == schema::CellType::UInt8 ? gis::CellType::UInt8 : gis::CellType::Int32;
}

}  // namespace

void AppendGrids(RunContext& ctx, const fs::path& inputFolder, const fs::path& outputFolder,
                 const fs::path& listFile, const MosaicLists& mosaicInputs) {
  PhaseTimer timer(ctx, "Grid phase");
  const auto& grids = ctx.layout.grids;
  if (mosaicInputs.size() != grids.size())
    throw AppError(kErrInternal, "The grid phase was given " + std::to_string(mosaicInputs.size()) +
                                     " mosaic input lists for " + std::to_string(grids.size()) +
                                     " grids");
  const gis::GridEncoding encoding = Encoding(ctx);
  // A scratch folder an earlier version or a failed run left behind would only mislead; the
  // mosaics go straight into the output workspace.
  const fs::path temp = ctx.appFolder / "Temp";
  if (ctx.files.FolderExists(temp)) ctx.files.DeleteFolder(temp);

  const int steps = static_cast<int>(grids.size()) + 1;
  for (std::size_t i = 0; i < grids.size(); ++i) {
    const schema::Grid& grid = grids[i];
    const bool catchment = grid.name == kCatchmentGrid;
    ctx.feedback.Status("Running MosaicToNewRaster for " + Shown(grid.name));
    ctx.feedback.Progress({"Grids", static_cast<int>(i) + 1, steps});
    gis::MosaicOptions options;
    if (grid.positiveOnly) options.keep = gis::ParseCellCondition("value > 0");
    options.writeVat = catchment;
    options.encoding = encoding;
    options.checkpoint = [&ctx] { StopIfCancelled(ctx); };
    const fs::path folder = outputFolder / grid.folder;
    const gis::MosaicResult result = gis::MosaicToNewRaster(mosaicInputs[i], folder, grid.name, "",
                                                            CellTypeOf(grid.cellType), options);
    for (const std::string& note : result.resampled) ctx.log.LogEvent(note);
    const gis::GridGeometry& g = result.geometry;
    ctx.log.LogEvent(grid.name + ": " + std::to_string(g.cols) + " x " + std::to_string(g.rows) +
                     " cells, " + std::to_string(result.cellsWithData) + " with data" +
                     (grid.positiveOnly ? " above zero" : ""));
    if (catchment && !gis::HasVat(folder / grid.name)) {
      ctx.feedback.Status("Running BuildRasterAttributeTable for " + Shown(grid.name));
      gis::BuildRasterAttributeTable(folder / grid.name);
    }
    StopIfCancelled(ctx);
  }

  ctx.feedback.Progress({"Grids", steps, steps});
  BuildCatchmentVat(ctx, inputFolder, outputFolder, listFile);
  timer.Finish();
}

}  // namespace rivanet
