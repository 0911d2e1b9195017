#include "grids/CatchmentVat.h"

#include <array>
#include <cstdio>
#include <map>
#include <system_error>

#include "grids/ScratchDatabase.h"
#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/DbfFields.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/GridReader.h"
#include "platform/gis/VatCursor.h"
#include "runctl/ActivityLog.h"
#include "runctl/ErrorReport.h"
#include "runctl/RunContext.h"
#include "runctl/RunFeedback.h"
#include "runctl/RunMessages.h"
#include "runctl/WorkspaceList.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

constexpr const char* kValueField = "Value";
constexpr const char* kComidField = "Comid";
constexpr const char* kProdUnitField = "Prod_unit";
// Rows of the output table written between two looks at a cancel request.
constexpr std::int64_t kRowsBetweenChecks = 4096;

using Attributes = std::pair<std::optional<std::int64_t>, std::optional<std::string>>;

struct Gathered {
  std::int64_t rows = 0;
  int workspaces = 0;
  int workspacesWithoutTable = 0;
  // Per value, the first workspace's catchment grid whose Comid or Prod_unit for it does not
  // fit the output table's fields: named if that row is the one kept.
  std::map<std::int64_t, fs::path> misfits;
};

struct JoinCounts {
  std::int64_t rows = 0;
  std::int64_t joined = 0;
  std::int64_t shared = 0;
  std::int64_t conflicting = 0;
  std::int64_t listedEmpty = 0;  // the kept row lacks a Comid or a Prod_unit
  std::int64_t unlisted = 0;
};

// The layout's definition of a field of the catchment grid's table.
gis::VatField LayoutField(const schema::Schema& layout, const std::string& name) {
  for (const schema::Field& f : layout.catVat) {
    if (!SameIgnoringCase(f.name, name)) continue;
    gis::VatField field{f.name, gis::DbfType::Integer, f.width, f.precision};
    switch (f.type) {
      case schema::FieldType::Integer:
        field.type = gis::DbfType::Integer;
        break;
      case schema::FieldType::Real:
        field.type = gis::DbfType::Real;
        break;
      case schema::FieldType::String:
        field.type = gis::DbfType::String;
        break;
      case schema::FieldType::Date:
        field.type = gis::DbfType::Date;
        break;
    }
    return field;
  }
  throw AppError(kErrInternal,
                 "The workspace layout gives the catchment grid's table no field " + name);
}

std::optional<std::int64_t> ComidOf(const gis::VatValue& value, std::int64_t cellValue,
                                    const fs::path& grid) {
  if (std::holds_alternative<std::monostate>(value)) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&value);
      text != nullptr && text->find_first_not_of(' ') == std::string::npos)
    return std::nullopt;
  try {
    return gis::VatInteger(value);
  } catch (const AppError&) {
    throw gis::FileError(kErrInvalidArgument,
                         "The Comid of value " + std::to_string(cellValue) +
                             " in the value attribute table is no whole number",
                         grid);
  }
}

std::optional<std::string> ProdUnitOf(const gis::VatValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (text->empty()) return std::nullopt;
    return *text;
  }
  if (const auto* n = std::get_if<std::int64_t>(&value)) return std::to_string(*n);
  if (const auto* d = std::get_if<double>(&value)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", *d);
    return std::string(text);
  }
  return std::nullopt;
}

template <class T>
gis::VatValue ValueOf(const std::optional<T>& v) {
  return v ? gis::VatValue(*v) : gis::VatValue();
}

template <class T>
bool Misfit(const gis::VatField& field, const std::optional<T>& v) {
  return gis::FieldValueProblem(field, ValueOf(v)).has_value();
}

std::string Shown(const Attributes& a) {
  return (a.first ? std::to_string(*a.first) : "(none)") + "/" + a.second.value_or("(none)");
}

// Imports the rows of one workspace's catchment grid table, the first row of each value.
void Gather(RunContext& ctx, ScratchDatabase& db, const fs::path& grid,
            const std::string& workspace, const std::array<gis::VatField, 2>& fields,
            Gathered& gathered) {
  ++gathered.workspaces;
  const auto without = [&](const std::string& why) {
    ctx.log.LogEvent("The catchment grid " + DisplayPath(grid) + " of workspace " + workspace +
                     " " + why + ": its values get no Comid or Prod_unit from it");
    ++gathered.workspacesWithoutTable;
  };
  if (!gis::HasVat(grid)) return without("has no value attribute table");
  const gis::Vat vat = gis::ReadVat(grid);
  const int value = gis::FindVatField(vat, kValueField);
  const int comid = gis::FindVatField(vat, kComidField);
  const int prodUnit = gis::FindVatField(vat, kProdUnitField);
  if (comid < 0 || prodUnit < 0)
    return without("has a value attribute table without Comid and Prod_unit fields");
  std::optional<std::int64_t> previous;
  bool reported = false;
  for (const gis::VatRow& row : vat.rows) {
    const std::int64_t v = gis::VatInteger(row[value]);
    if (v == previous) {
      if (!reported)
        ctx.log.LogEvent("Value " + std::to_string(v) +
                         " is listed more than once in the value attribute table of " +
                         DisplayPath(grid) + ": its first row is used");
      reported = true;
      continue;
    }
    previous = v;
    reported = false;
    const Attributes a{ComidOf(row[comid], v, grid), ProdUnitOf(row[prodUnit])};
    if (!gathered.misfits.contains(v) &&
        (Misfit(fields[0], a.first) || Misfit(fields[1], a.second)))
      gathered.misfits.emplace(v, grid);
    db.Import(v, a.first, a.second);
    ++gathered.rows;
  }
}

// Writes the joined Comid and Prod_unit into each row of the output table, matched by value.
// A value that does not fit its field is reported against the workspace it came from.
JoinCounts WriteJoin(RunContext& ctx, ScratchDatabase& db, const fs::path& grid,
                     const gis::VatField& comidField, const gis::VatField& prodUnitField,
                     const Gathered& gathered) {
  JoinCounts counts;
  gis::VatCursor cursor(grid, gis::VatCursor::Mode::Update);
  const int comid = cursor.FindField(comidField.name);
  const int prodUnit = cursor.FindField(prodUnitField.name);
  db.StartJoin();
  ScratchDatabase::JoinRow join;
  bool haveJoin = db.NextJoinRow(join);
  while (cursor.Next()) {
    const std::int64_t value = cursor.Value();
    ++counts.rows;
    if (counts.rows % kRowsBetweenChecks == 0) StopIfCancelled(ctx);
    while (haveJoin && join.value < value) haveJoin = db.NextJoinRow(join);
    std::vector<Attributes> listed;
    while (haveJoin && join.value == value) {
      listed.emplace_back(join.comid, join.prodUnit);
      haveJoin = db.NextJoinRow(join);
    }
    if (listed.empty()) {
      ++counts.unlisted;
      ctx.log.LogEvent("Value " + std::to_string(value) +
                       " of the catchment grid is listed by no workspace: its Comid and "
                       "Prod_unit stay empty");
      continue;
    }
    const Attributes& kept = listed.front();
    if (const auto misfit = gathered.misfits.find(value); misfit != gathered.misfits.end())
      for (const auto& [field, v] : {std::pair{comidField, ValueOf(kept.first)},
                                     std::pair{prodUnitField, ValueOf(kept.second)}})
        if (const auto problem = gis::FieldValueProblem(field, v))
          throw gis::FileError(
              kErrOverflow,
              "Value " + std::to_string(value) +
                  " of the catchment grid cannot be given its attributes: " + *problem,
              misfit->second);
    cursor.Set(comid, ValueOf(kept.first));
    cursor.Set(prodUnit, ValueOf(kept.second));
    cursor.UpdateRow();
    const bool filled = kept.first && kept.second;
    if (filled) ++counts.joined;
    std::string others;
    for (std::size_t i = 1; i < listed.size(); ++i)
      if (listed[i] != kept) others += ", " + Shown(listed[i]);
    if (others.empty()) {
      if (!filled) {
        ++counts.listedEmpty;
        ctx.log.LogEvent("Value " + std::to_string(value) +
                         " of the catchment grid is listed without a Comid or Prod_unit: " +
                         Shown(kept) + " is kept");
      } else if (listed.size() > 1) {
        ++counts.shared;
      }
      continue;
    }
    ++counts.conflicting;
    ctx.log.LogEvent("Value " + std::to_string(value) +
                     " of the catchment grid is listed with different Comid/Prod_unit: " +
                     Shown(kept) + " (the first workspace's, kept)" + others);
  }
  cursor.Flush();
  return counts;
}

void Report(RunContext& ctx, const std::string& grid, const JoinCounts& c,
            const Gathered& gathered) {
  std::string text =
      grid + " value attribute table: " + std::to_string(c.rows) + " rows, " +
      std::to_string(c.joined) + " with Comid and Prod_unit (" + std::to_string(c.shared) +
      " shared by several workspaces, " + std::to_string(c.conflicting) +
      " listed with conflicting ones: the first workspace's kept), " +
      (c.listedEmpty > 0 ? std::to_string(c.listedEmpty) +
                               " listed without a Comid or Prod_unit (kept as listed), "
                         : std::string()) +
      std::to_string(c.unlisted) + " listed by no workspace (left empty); " +
      std::to_string(gathered.rows) + " rows read from " + std::to_string(gathered.workspaces) +
      " workspaces";
  if (gathered.workspacesWithoutTable > 0)
    text += ", " + std::to_string(gathered.workspacesWithoutTable) +
            " without a usable value attribute table";
  if (c.conflicting > 0 || c.listedEmpty > 0 || c.unlisted > 0 ||
      gathered.workspacesWithoutTable > 0)
    Tell(ctx, MessageKind::Logged, text + ". The log names each of them.");
  else
    ctx.log.LogEvent(text);
}

fs::path RequireGrid(const RunContext& ctx, const fs::path& folder, const std::string& name) {
  if (auto grid = OpenGridAsIRasterDataset(ctx, folder, name)) return *grid;
  throw gis::FileError(kErrPathNotFound, "Grid folder not found", folder / name);
}

}  // namespace

std::optional<fs::path> OpenGridAsIRasterDataset(const RunContext& ctx, const fs::path& folder,
                                                 const std::string& gridName) {
  return InProcedure("OpenGridAsIRasterDataset", [&]() -> std::optional<fs::path> {
    if (!ctx.files.FolderExists(folder)) return std::nullopt;
    const fs::path grid = gis::LocateGrid(folder / gridName).folder;
    gis::GridReader opened(grid);  // a grid that cannot be opened fails here, not later
    return grid;
  });
}

void AddFieldToVAT(const RunContext& ctx, const fs::path& folder, const std::string& gridName,
                   const gis::VatField& field) {
  InProcedure("AddFieldToVAT",
              [&] { gis::AddVatField(RequireGrid(ctx, folder, gridName), field); });
}

void BuildCatchmentVat(RunContext& ctx, const fs::path& inputFolder, const fs::path& outputFolder,
                       const fs::path& listFile) {
  const schema::Grid& cat = schema::FindGrid(ctx.layout, kCatchmentGrid);
  const gis::VatField comid = LayoutField(ctx.layout, kComidField);
  const gis::VatField prodUnit = LayoutField(ctx.layout, kProdUnitField);

  ctx.feedback.Status("Refreshing VatWork.mdb");
  ScratchDatabase db(ctx);
  Gathered gathered;
  std::string last;
  WorkspaceList list(ctx.files, listFile);
  std::string workspace;
  while (list.Next(workspace)) {
    last = workspace;
    ctx.feedback.Status("Updating Cat grid for Workspace: " + workspace);
    const fs::path grid = RequireGrid(ctx, inputFolder / workspace / cat.folder, cat.name);
    Gather(ctx, db, grid, workspace, {comid, prodUnit}, gathered);
    StopIfCancelled(ctx);
  }

  const fs::path outFolder = outputFolder / cat.folder;
  const fs::path outGrid = RequireGrid(ctx, outFolder, cat.name);
  ctx.feedback.Status("Extracting Workspace: " + last);
  {
    gis::VatCursor values(outGrid, gis::VatCursor::Mode::Read);
    while (values.Next()) db.AddVatValue(values.Value());
  }
  db.Commit();
  AddFieldToVAT(ctx, outFolder, cat.name, comid);
  AddFieldToVAT(ctx, outFolder, cat.name, prodUnit);
  const JoinCounts counts = WriteJoin(ctx, db, outGrid, comid, prodUnit, gathered);
  db.Close();
  Report(ctx, cat.name, counts, gathered);
}

}  // namespace rivanet
