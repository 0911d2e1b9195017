#pragma once

#include <filesystem>
#include <vector>

namespace rivanet {

struct RunContext;

// The mosaic inputs: one list per grid of the workspace layout (ctx.layout.grids, in that
// order), each the grid folders of the accepted workspaces in list order.
using MosaicLists = std::vector<std::vector<std::filesystem::path>>;

// The grid phase of a run: mosaics every grid of the layout into the output workspace (the
// catchment and flow direction grids keep only their cells above zero), then gives the output
// catchment grid's value attribute table the Comid and Prod_unit of each value. Logs one entry
// per grid with its size and cells with data, and the phase's duration. Stops at a cancel
// request between grids and between rows of tiles, leaving no half-written grid.
void AppendGrids(RunContext& ctx, const std::filesystem::path& inputFolder,
                 const std::filesystem::path& outputFolder, const std::filesystem::path& listFile,
                 const MosaicLists& mosaicInputs);

}  // namespace rivanet
