#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/gis/GridVat.h"

namespace rivanet {

struct RunContext;

// The grid of the layout whose value attribute table carries each catchment's Comid.
inline constexpr const char* kCatchmentGrid = "cat";

// The grid folder <folder>/<gridName> when `folder` exists (letter case resolved), else none.
// When the folder exists but holds no grid of that name, or the grid cannot be opened, the
// failure is reported as this procedure's.
std::optional<std::filesystem::path> OpenGridAsIRasterDataset(const RunContext& ctx,
                                                              const std::filesystem::path& folder,
                                                              const std::string& gridName);

// Adds an empty field to the value attribute table of the grid <folder>/<gridName>; failures
// are reported as this procedure's.
void AddFieldToVAT(const RunContext& ctx, const std::filesystem::path& folder,
                   const std::string& gridName, const gis::VatField& field);

// Gives the output catchment grid's value attribute table the Comid and Prod_unit of each
// value, from the value attribute tables of the workspaces' catchment grids, joined on the
// value in the scratch database.
//
// Each row of the output table is matched by its value. A value listed by several workspaces
// with the same Comid and Prod_unit is filled and counted as shared. A value listed with
// different ones takes the first workspace's (in list order), and a value no workspace lists
// stays empty; both are logged value by value. A workspace whose catchment grid has no value
// attribute table (or one without Comid and Prod_unit) contributes nothing and is logged.
// The counts go to the log in one entry, which a window run also shows when something could
// not be matched.
void BuildCatchmentVat(RunContext& ctx, const std::filesystem::path& inputFolder,
                       const std::filesystem::path& outputFolder,
                       const std::filesystem::path& listFile);

}  // namespace rivanet
