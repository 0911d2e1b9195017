#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/gis/GridMosaic.h"

namespace rivanet::gis {

// Writes the grid `output` holding the cells of `input` that `whereClause` keeps (see
// ParseCellCondition; "value > 0"), the others NoData, on the same cells and with the same
// cell type as the input. A refused clause is an AppError before anything is written.
MosaicResult ExtractByAttributes(const std::filesystem::path& input, const std::string& whereClause,
                                 const std::filesystem::path& output,
                                 const GridEncoding& encoding = {});

// Writes the grid's value attribute table from its cells: Value and Count, one row per value
// with data, in ascending value order, replacing an earlier table. Returns the rows written.
std::int64_t BuildRasterAttributeTable(const std::filesystem::path& grid);

}  // namespace rivanet::gis
