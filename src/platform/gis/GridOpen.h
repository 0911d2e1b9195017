#pragma once

// Opening an integer grid for reading, shared by the grid reader and the mosaic. Private to
// the GIS library: it hands out GDAL objects.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridTypes.h"

namespace rivanet::gis {

struct OpenedGrid {
  std::filesystem::path file;  // for messages: the .tif, or the ArcInfo grid folder
  DatasetPtr ds;
  GDALRasterBand* band = nullptr;
  GridGeometry geometry;
  CellType type = CellType::Int32;
  // None when the grid has none, or one no int32 cell can equal.
  std::optional<std::int32_t> noData;
};

// Opens the grid of a folder (GeoTIFF grid folder or ArcInfo grid folder) read-only, without
// side files. Refuses, naming the file, what is no north-up integer grid with square cells.
OpenedGrid OpenGrid(const std::filesystem::path& gridFolder);

}  // namespace rivanet::gis
