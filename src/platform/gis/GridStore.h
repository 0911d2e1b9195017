#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace rivanet::gis {

// A grid is a folder. The project writes <grid>/<grid>.tif (tiled GeoTIFF, DEFLATE,
// PREDICTOR=2, BIGTIFF=IF_SAFER) and, where the grid has a value attribute table,
// <grid>/<grid>.tif.vat.dbf (dBASE: Value, Count, then further fields). It reads those and
// ESRI ArcInfo binary grid folders (hdr.adf, w001001.adf, ...).

enum class CellType { UInt8, Int32 };

// Georeferencing of a north-up grid: top-left corner, square cells.
struct GridGeometry {
  double originX = 0;  // x of the left edge
  double originY = 0;  // y of the top edge
  double cellSize = 0;
  int cols = 0;
  int rows = 0;
  std::string crsWkt;  // empty: no coordinate system
};

enum class VatFieldType { Integer, Real, String };

struct VatField {
  std::string name;
  VatFieldType type = VatFieldType::Integer;
  int width = 10;
  int precision = 0;
};

using VatValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// One value attribute table row, values in field order (Value and Count first).
using VatRow = std::vector<VatValue>;

// Writes a grid block by block; memory stays at one block whatever the grid size.
class GridWriter {
 public:
  // Creates <folder>/<name of folder>.tif, replacing an existing grid of that folder (its
  // value attribute table included, since it would no longer describe the cells). The folder
  // is created when missing. cellSize must be positive and cols, rows at least 1.
  GridWriter(const std::filesystem::path& gridFolder, const GridGeometry& geometry, CellType type,
             std::optional<std::int32_t> noData);
  ~GridWriter();
  GridWriter(const GridWriter&) = delete;
  GridWriter& operator=(const GridWriter&) = delete;

  // Writes `rowCount` full rows starting at `firstRow`; `cells` holds rowCount * cols values.
  // Rows come top to bottom without gaps (firstRow is the first row not yet written). For a
  // UInt8 grid every value must lie in 0..255.
  void WriteRows(int firstRow, int rowCount, const std::int32_t* cells);
  // Flushes and closes; errors surface here, not in the destructor. Every row must have been
  // written. A writer destroyed without Close leaves an incomplete file behind.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Reads a grid (project GeoTIFF folder or ArcInfo binary grid folder) block by block.
class GridReader {
 public:
  explicit GridReader(const std::filesystem::path& gridFolder);
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  const GridGeometry& Geometry() const;
  // UInt8 for 8-bit grids; Int32 for every other integer grid (16-bit ArcInfo grids included).
  // Floating-point grids are refused when opened.
  CellType Type() const;
  std::optional<std::int32_t> NoData() const;
  // The stored block (tile or strip) size; reading whole blocks of rows is the cheapest.
  int BlockWidth() const;
  int BlockHeight() const;
  // Reads `rowCount` full rows starting at `firstRow` into `cells` (rowCount * cols values).
  void ReadRows(int firstRow, int rowCount, std::int32_t* cells);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// The value attribute table of a grid: fields and rows in ascending Value order. Field types
// are those stored: ArcGIS writes Count as a real field, so use VatInteger to read it.
struct Vat {
  std::vector<VatField> fields;  // Value, Count, then further fields
  std::vector<VatRow> rows;
};

// Index of the field named `name` (letter case ignored), or -1.
int FindVatField(const Vat& vat, const std::string& name);
// An integer or integral real value as integer; throws AppError for anything else.
std::int64_t VatInteger(const VatValue& value);

// True when the grid folder holds a value attribute table (.tif.vat.dbf, or vat.adf).
bool HasVat(const std::filesystem::path& gridFolder);
// Reads the grid's value attribute table; throws AppError naming the file when there is none.
Vat ReadVat(const std::filesystem::path& gridFolder);
// Writes <folder>/<name>.tif.vat.dbf (with a UTF-8 .cpg) into an existing grid folder,
// replacing any earlier table. Rows are stored in ascending Value order. Field names have at
// most 10 characters; an Integer field is at most 18 wide, a String field at most 254 bytes;
// values must fit their field and Values must be unique, else AppError and the earlier table
// stays. dBASE stores no empty text: "" reads back as no value (std::monostate).
void WriteVat(const std::filesystem::path& gridFolder, const Vat& vat);

}  // namespace rivanet::gis
