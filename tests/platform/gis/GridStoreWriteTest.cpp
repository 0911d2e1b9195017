// Grids and value attribute tables written by the store and read back, and the ways writing
// and reading refuse bad input.

#include <cpl_conv.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/gis/GridStore.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;

namespace {

std::string EpsgWkt(int code) {
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  EXPECT_EQ(OSRImportFromEPSG(srs, code), OGRERR_NONE);
  char* wkt = nullptr;
  EXPECT_EQ(OSRExportToWkt(srs, &wkt), OGRERR_NONE);
  std::string text = wkt != nullptr ? wkt : "";
  CPLFree(wkt);
  OSRDestroySpatialReference(srs);
  return text;
}

bool SameCrs(const std::string& a, const std::string& b) {
  OGRSpatialReferenceH x = OSRNewSpatialReference(a.c_str());
  OGRSpatialReferenceH y = OSRNewSpatialReference(b.c_str());
  const bool same = x != nullptr && y != nullptr && OSRIsSame(x, y) != 0;
  OSRDestroySpatialReference(x);
  OSRDestroySpatialReference(y);
  return same;
}

// Cells that differ from their neighbours in every direction, with NoData scattered through,
// so that a block written to the wrong place or a row shifted shows up.
std::vector<std::int32_t> MakeCells(const GridGeometry& g, CellType type, std::int32_t noData) {
  std::vector<std::int32_t> cells(static_cast<std::size_t>(g.cols) * g.rows);
  for (int r = 0; r < g.rows; ++r)
    for (int c = 0; c < g.cols; ++c) {
      std::int32_t v = (r * 31 + c * 7) % 200;
      if (type == CellType::Int32) v = v * 100003 - 9000000;
      if ((r * 13 + c) % 17 == 0) v = noData;
      cells[static_cast<std::size_t>(r) * g.cols + c] = v;
    }
  return cells;
}

void WriteInChunks(GridWriter& writer, const GridGeometry& g, const std::vector<std::int32_t>& cells) {
  // Uneven chunks that straddle tile rows, ending with single rows.
  int row = 0;
  int chunk = 7;
  while (row < g.rows) {
    const int n = std::min(chunk, g.rows - row);
    writer.WriteRows(row, n, cells.data() + static_cast<std::size_t>(row) * g.cols);
    row += n;
    chunk = chunk == 7 ? 100 : chunk == 100 ? 1 : 7;
  }
}

std::vector<std::int32_t> ReadAll(GridReader& reader, int rowsPerRead) {
  const GridGeometry& g = reader.Geometry();
  std::vector<std::int32_t> cells(static_cast<std::size_t>(g.cols) * g.rows);
  for (int row = 0; row < g.rows; row += rowsPerRead)
    reader.ReadRows(row, std::min(rowsPerRead, g.rows - row),
                    cells.data() + static_cast<std::size_t>(row) * g.cols);
  return cells;
}

std::string Structure(GDALDatasetH ds, const char* key) {
  const char* v = GDALGetMetadataItem(ds, key, "IMAGE_STRUCTURE");
  return v != nullptr ? v : "";
}

bool HasFileEnding(const fs::path& folder, const std::string& ending) {
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string n = e.path().filename().string();
    if (n.size() >= ending.size() && n.compare(n.size() - ending.size(), ending.size(), ending) == 0)
      return true;
  }
  return false;
}

template <class F>
AppError Raised(F&& f) {
  try {
    f();
  } catch (const AppError& e) {
    return e;
  }
  ADD_FAILURE() << "no AppError raised";
  return AppError(0, "");
}

}  // namespace

TEST(GridStoreWrite, EachCellTypeReadsBackWithGeometryCellsAndVat) {
  for (const CellType type : {CellType::UInt8, CellType::Int32}) {
    SCOPED_TRACE(type == CellType::UInt8 ? "UInt8" : "Int32");
    test::TempDir dir;
    const fs::path folder = dir / "Flowacc";
    GridGeometry g;
    g.originX = 330070.5;
    g.originY = 6661000.25;
    g.cellSize = 30;
    g.cols = 600;  // three tile columns, the last one partial
    g.rows = 300;  // two tile rows, the last one partial
    g.crsWkt = EpsgWkt(28356);
    const std::int32_t noData = type == CellType::UInt8 ? 255 : -2147483647 - 1;
    const std::vector<std::int32_t> cells = MakeCells(g, type, noData);

    GridWriter writer(folder, g, type, noData);
    WriteInChunks(writer, g, cells);
    writer.Close();

    // VAT from the cells themselves, handed over out of Value order.
    std::map<std::int32_t, std::int64_t> histogram;
    for (auto v : cells)
      if (v != noData) ++histogram[v];
    Vat vat;
    vat.fields = {{"Value", VatFieldType::Integer, 10, 0},
                  {"Count", VatFieldType::Integer, 10, 0},
                  {"Reach", VatFieldType::String, 40, 0},
                  {"Slope", VatFieldType::Real, 19, 11},
                  {"Order", VatFieldType::Integer, 5, 0}};
    for (auto it = histogram.rbegin(); it != histogram.rend(); ++it) {
      const std::int64_t value = it->first;
      VatValue slope = (value % 3 == 0) ? VatValue{} : VatValue{0.125 * static_cast<double>(value % 50)};
      vat.rows.push_back({value, it->second, "Rivière " + std::to_string(value), slope,
                          std::int64_t{value % 7}});
    }
    WriteVat(folder, vat);

    GridReader reader(folder);
    EXPECT_EQ(reader.Type(), type);
    EXPECT_EQ(reader.NoData(), noData);
    const GridGeometry& back = reader.Geometry();
    EXPECT_EQ(back.cols, g.cols);
    EXPECT_EQ(back.rows, g.rows);
    EXPECT_DOUBLE_EQ(back.originX, g.originX);
    EXPECT_DOUBLE_EQ(back.originY, g.originY);
    EXPECT_DOUBLE_EQ(back.cellSize, g.cellSize);
    EXPECT_TRUE(SameCrs(back.crsWkt, g.crsWkt)) << back.crsWkt;
    EXPECT_EQ(reader.BlockWidth(), 256);
    EXPECT_EQ(reader.BlockHeight(), 256);
    EXPECT_EQ(ReadAll(reader, 256), cells);
    EXPECT_EQ(ReadAll(reader, 33), cells);

    ASSERT_TRUE(HasVat(folder));
    const Vat read = ReadVat(folder);
    ASSERT_EQ(read.fields.size(), vat.fields.size());
    for (std::size_t i = 0; i < vat.fields.size(); ++i) {
      EXPECT_EQ(read.fields[i].name, vat.fields[i].name);
      EXPECT_EQ(read.fields[i].type, vat.fields[i].type) << vat.fields[i].name;
      EXPECT_EQ(read.fields[i].width, vat.fields[i].width) << vat.fields[i].name;
      EXPECT_EQ(read.fields[i].precision, vat.fields[i].precision) << vat.fields[i].name;
    }
    std::vector<VatRow> expected(vat.rows.rbegin(), vat.rows.rend());
    EXPECT_EQ(read.rows, expected);

    // How the files are stored.
    const fs::path tif = folder / "Flowacc.tif";
    GDALDatasetH ds = GDALOpenEx(tif.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    int bx = 0, by = 0;
    GDALGetBlockSize(GDALGetRasterBand(ds, 1), &bx, &by);
    EXPECT_EQ(bx, 256);
    EXPECT_EQ(by, 256);
    EXPECT_EQ(Structure(ds, "COMPRESSION"), "DEFLATE");
    EXPECT_EQ(Structure(ds, "PREDICTOR"), "2");
    EXPECT_EQ(GDALGetRasterDataType(GDALGetRasterBand(ds, 1)),
              type == CellType::UInt8 ? GDT_Byte : GDT_Int32);
    GDALClose(ds);
    EXPECT_TRUE(fs::is_regular_file(folder / "Flowacc.tif.vat.dbf"));
    EXPECT_EQ(test::ReadFile(folder / "Flowacc.tif.vat.cpg").substr(0, 5), "UTF-8");
    EXPECT_FALSE(HasFileEnding(folder, ".aux.xml"));
  }
}

TEST(GridStoreWrite, FolderAndFilesAreFoundWhateverTheirLetterCase) {
  test::TempDir dir;
  GridGeometry g{0, 40, 2, 40, 20, ""};
  std::vector<std::int32_t> cells(40 * 20);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int32_t>(i % 5);
  {
    GridWriter writer(dir / "Cat", g, CellType::UInt8, std::nullopt);
    writer.WriteRows(0, 20, cells.data());
    writer.Close();
  }
  WriteVat(dir / "Cat", Vat{{{"Value", VatFieldType::Integer, 10, 0}, {"Count", VatFieldType::Integer, 10, 0}},
                            {{std::int64_t{0}, std::int64_t{160}}}});
  // As a case-insensitive file system may leave them: folder and files spelled differently.
  fs::rename(dir / "Cat" / "Cat.tif", dir / "Cat" / "cat.tif");
  fs::rename(dir / "Cat" / "Cat.tif.vat.dbf", dir / "Cat" / "CAT.TIF.VAT.DBF");

  GridReader reader(dir / "cAT");
  EXPECT_EQ(reader.Geometry().cols, 40);
  EXPECT_EQ(reader.NoData(), std::nullopt);
  EXPECT_EQ(ReadAll(reader, 20), cells);
  EXPECT_TRUE(HasVat(dir / "CAT"));
  EXPECT_EQ(ReadVat(dir / "cat").rows.size(), 1u);
}

TEST(GridStoreWrite, RewritingAGridDropsItsOldVat) {
  test::TempDir dir;
  const fs::path folder = dir / "Basins";
  GridGeometry g{0, 10, 1, 10, 10, ""};
  std::vector<std::int32_t> cells(100, 4);
  for (int pass = 0; pass < 2; ++pass) {
    GridWriter writer(folder, g, CellType::Int32, -1);
    writer.WriteRows(0, 10, cells.data());
    writer.Close();
    if (pass == 0)
      WriteVat(folder, Vat{{{"Value", VatFieldType::Integer, 10, 0}, {"Count", VatFieldType::Integer, 10, 0}},
                           {{std::int64_t{4}, std::int64_t{100}}}});
    EXPECT_EQ(HasVat(folder), pass == 0);
  }
  EXPECT_FALSE(fs::exists(folder / "Basins.tif.vat.cpg"));
}

TEST(GridStoreWrite, WriterRefusesMisuse) {
  test::TempDir dir;
  GridGeometry g{0, 10, 1, 10, 10, ""};
  std::vector<std::int32_t> cells(100, 1);

  GridWriter outOfOrder(dir / "a", g, CellType::Int32, std::nullopt);
  outOfOrder.WriteRows(0, 2, cells.data());
  EXPECT_EQ(Raised([&] { outOfOrder.WriteRows(5, 2, cells.data()); }).Number(), kErrSubscriptOutOfRange);
  EXPECT_EQ(Raised([&] { outOfOrder.WriteRows(2, 9, cells.data()); }).Number(), kErrSubscriptOutOfRange);

  GridWriter byte(dir / "b", g, CellType::UInt8, std::nullopt);
  cells[57] = 256;
  const AppError tooBig = Raised([&] { byte.WriteRows(0, 10, cells.data()); });
  EXPECT_EQ(tooBig.Number(), kErrOverflow);
  EXPECT_NE(tooBig.Description().find("256"), std::string::npos);
  EXPECT_EQ(Raised([&] { GridWriter w(dir / "x", GridGeometry{0, 0, 1, 1, 1, ""}, CellType::UInt8, 300); })
                .Number(),
            kErrOverflow);
  EXPECT_EQ(Raised([&] { GridWriter w(dir / "c", GridGeometry{0, 0, 0, 5, 5, ""}, CellType::Int32, 0); }).Number(),
            kErrInvalidArgument);

  const AppError badCrs =
      Raised([&] { GridWriter w(dir / "e", GridGeometry{0, 0, 1, 5, 5, "GEOGCS[broken"}, CellType::Int32, 0); });
  EXPECT_EQ(badCrs.Source(), "GDAL");
  EXPECT_NE(badCrs.Description().find("e.tif"), std::string::npos) << badCrs.Description();

  cells[57] = 1;
  GridWriter incomplete(dir / "d", g, CellType::Int32, std::nullopt);
  incomplete.WriteRows(0, 9, cells.data());
  const AppError missing = Raised([&] { incomplete.Close(); });
  EXPECT_EQ(missing.Number(), kErrInvalidArgument);
  EXPECT_NE(missing.Description().find("d.tif"), std::string::npos);
}

TEST(GridStoreWrite, VatThatDbaseCannotHoldIsRefused) {
  test::TempDir dir;
  fs::create_directories(dir / "g");
  const auto base = [] {
    return Vat{{{"Value", VatFieldType::Integer, 10, 0},
                {"Count", VatFieldType::Integer, 10, 0},
                {"Name", VatFieldType::String, 8, 0}},
               {{std::int64_t{1}, std::int64_t{5}, std::string("ok")}}};
  };
  WriteVat(dir / "g", base());  // the base table itself is fine

  Vat duplicate = base();
  duplicate.rows.push_back({std::int64_t{1}, std::int64_t{2}, std::string("again")});
  Vat longName = base();
  longName.fields[2].name = "NameTooLong";
  Vat longText = base();
  longText.rows[0][2] = std::string("nine char");
  Vat wideNumber = base();
  wideNumber.rows[0][1] = std::int64_t{12345678901};
  Vat wrongType = base();
  wrongType.rows[0][2] = 3.5;
  Vat noCount = base();
  noCount.fields[1].name = "Cells";
  Vat shortRow = base();
  shortRow.rows[0].pop_back();
  for (const Vat* bad : {&duplicate, &longName, &longText, &wideNumber, &wrongType, &noCount, &shortRow}) {
    const AppError e = Raised([&] { WriteVat(dir / "g", *bad); });
    EXPECT_NE(e.Description().find("g.tif.vat.dbf"), std::string::npos) << e.Description();
  }
  // A refused table leaves the earlier one in place.
  EXPECT_EQ(ReadVat(dir / "g").rows, base().rows);
}

TEST(GridStoreBadInput, EachFailureNamesTheFile) {
  test::TempDir dir;
  fs::create_directories(dir / "empty");
  const AppError noGrid = Raised([&] { GridReader r(dir / "empty"); });
  EXPECT_EQ(noGrid.Number(), kErrFileNotFound);
  EXPECT_NE(noGrid.Description().find("empty"), std::string::npos) << noGrid.Description();
  EXPECT_FALSE(HasVat(dir / "empty"));
  EXPECT_NE(Raised([&] { ReadVat(dir / "empty"); }).Description().find("empty"), std::string::npos);
  EXPECT_EQ(Raised([&] { GridReader r(dir / "missing"); }).Number(), kErrPathNotFound);

  test::WriteFile(dir / "broken" / "broken.tif", std::string("II*\0garbage", 11));
  const AppError corrupt = Raised([&] { GridReader r(dir / "broken"); });
  EXPECT_EQ(corrupt.Source(), "GDAL");
  EXPECT_NE(corrupt.Number(), 0);
  EXPECT_NE(corrupt.Description().find("broken.tif"), std::string::npos) << corrupt.Description();

  GridGeometry g{0, 4, 1, 4, 4, ""};
  std::vector<std::int32_t> cells(16, 1);
  GridWriter writer(dir / "grid", g, CellType::UInt8, std::nullopt);
  writer.WriteRows(0, 4, cells.data());
  writer.Close();
  test::WriteFile(dir / "grid" / "grid.tif.vat.dbf", "this is not a dBASE table at all");
  ASSERT_TRUE(HasVat(dir / "grid"));
  const AppError badVat = Raised([&] { ReadVat(dir / "grid"); });
  EXPECT_NE(badVat.Description().find("grid.tif.vat.dbf"), std::string::npos) << badVat.Description();
}
