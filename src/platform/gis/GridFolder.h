#pragma once

// Where a grid's files are; shared by the grid reader, writer and value attribute tables.

#include <filesystem>
#include <string>

#include "platform/Error.h"

namespace rivanet::gis {

struct GridFolder {
  std::filesystem::path folder;  // as found on disk (letter case resolved), no trailing slash
  std::string name;              // folder name, also the name of the files inside
  std::filesystem::path tif;     // <folder>/<name>.tif as found, or as it would be written
  std::filesystem::path hdr;     // <folder>/hdr.adf as found: the mark of an ArcInfo grid
  bool HasTif() const;
  bool IsArcInfo() const;  // an ArcInfo grid and no GeoTIFF
};

// Resolves the folder's letter case; does not require anything to exist.
GridFolder FindGridFolder(const std::filesystem::path& gridFolder);
// As FindGridFolder, but the folder must hold a grid: AppError naming the folder otherwise.
GridFolder LocateGrid(const std::filesystem::path& gridFolder);

// An error of the program's own about `file`: "<text>: <file>".
AppError FileError(long number, const std::string& text, const std::filesystem::path& file);

}  // namespace rivanet::gis
