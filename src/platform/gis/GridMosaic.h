#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/gis/CellCondition.h"
#include "platform/gis/GridTypes.h"
#include "platform/gis/GridWriter.h"

namespace rivanet::gis {

struct MosaicOptions {
  // When set, cells of the mosaic the condition does not keep become NoData before they are
  // written: an extraction done on the way, without a grid in between.
  std::optional<CellCondition> keep;
  // Writes the value attribute table of the new grid (Value, Count of the cells written).
  bool writeVat = false;
  GridEncoding encoding;
  // Called after each row of tiles is handed to the writer. It may throw to stop the mosaic;
  // no grid is then written under the output name and an earlier one stays as it was.
  std::function<void()> checkpoint;
};

struct MosaicResult {
  GridGeometry geometry;
  std::int64_t cellsWithData = 0;
  std::int64_t vatRows = 0;  // rows of the table written (writeVat), else 0
  // One sentence per input that was resampled, naming it and saying why.
  std::vector<std::string> resampled;
};

// Mosaics integer grids into the new grid <outputFolder>/<name> (own store: tiled GeoTIFF).
//
// - Coordinate system and cell size are the first input's. A non-empty `coordinateSystem`
//   (WKT) that differs from it puts the mosaic in that system instead, with the cell size the
//   first input gets when projected there.
// - Extent: the union of all inputs, on the first input's cell grid (cell edges on its lines).
// - Where inputs overlap, the later input in list order wins where it has data; NoData never
//   overwrites data. Cells no input covers are NoData.
// - Inputs in the same coordinate system with the same cell size and cell edges on the same
//   lines are copied cell for cell, a row of blocks at a time. Any other input is resampled
//   onto the mosaic's cells (nearest neighbour) and named in MosaicResult::resampled.
// - The new grid has `pixelType` cells and NoData NoDataOf(pixelType). A data value that the
//   pixel type cannot hold is refused; one that equals the new NoData reads as NoData.
// Every input is opened read-only and nothing is written beside it. Errors are AppErrors
// naming the file; a failed mosaic leaves no grid under the output name.
MosaicResult MosaicToNewRaster(const std::vector<std::filesystem::path>& inputs,
                               const std::filesystem::path& outputFolder, const std::string& name,
                               const std::string& coordinateSystem, CellType pixelType,
                               const MosaicOptions& options = {});

// Opens the grid of `gridFolder` as MosaicToNewRaster opens each of its inputs and refuses
// what that opening refuses: a folder with neither <name>.tif nor hdr.adf, a file GDAL cannot
// open as a grid, one without georeferencing, not north-up with square cells, or without
// integer cells. Reads the headers only, no cells: a run checks every input before it starts,
// and damage further in a file is left to the mosaic. Errors are AppErrors naming the file.
void CheckMosaicInput(const std::filesystem::path& gridFolder);

}  // namespace rivanet::gis
