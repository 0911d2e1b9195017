// Grids written block by block and read back; how a rewrite replaces a grid, and how an
// unfinished one leaves the earlier grid alone.

#include <tuple>

#include "GisTest.h"
#include "platform/gis/GridVat.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;
using test::Cells;
using test::CellsOf;
using test::Raised;

TEST(GridWriter, EachCellTypeReadsBackWithGeometryCellsAndStorage) {
  for (const CellType type : {CellType::UInt8, CellType::Int32}) {
    SCOPED_TRACE(type == CellType::UInt8 ? "UInt8" : "Int32");
    test::TempDir dir;
    const fs::path folder = dir / "Flowacc";
    // Three tile columns and two tile rows, the last ones partial.
    const GridGeometry g{330070.5, 6661000.25, 30, 600, 300, test::EpsgWkt(28356)};
    const std::int32_t noData = type == CellType::UInt8 ? 255 : -2147483647 - 1;
    // Cells that differ from their neighbours in every direction, with NoData scattered
    // through, so that a block written to the wrong place or a row shifted shows up.
    Cells cells(static_cast<std::size_t>(g.cols) * g.rows);
    for (int i = 0; i < g.cols * g.rows; ++i) {
      const int r = i / g.cols, c = i % g.cols, v = (r * 31 + c * 7) % 200;
      cells[i] = (r * 13 + c) % 17 == 0    ? noData
                 : type == CellType::Int32 ? v * 100003 - 9000000
                                           : v;
    }

    GridWriter writer(folder, g, type, noData);
    // Uneven chunks that straddle tile rows, ending with single rows.
    for (int row = 0, chunk = 7; row < g.rows; chunk = chunk == 7 ? 100 : chunk == 100 ? 1 : 7) {
      const int n = std::min(chunk, g.rows - row);
      writer.WriteRows(row, n, cells.data() + static_cast<std::size_t>(row) * g.cols);
      row += n;
    }
    writer.Close();

    GridReader reader(folder);
    EXPECT_EQ(std::pair(reader.Type(), reader.NoData()), std::pair(type, std::optional(noData)));
    const GridGeometry& back = reader.Geometry();
    EXPECT_EQ(std::tie(back.cols, back.rows, back.originX, back.originY, back.cellSize),
              std::tie(g.cols, g.rows, g.originX, g.originY, g.cellSize));
    EXPECT_NE(back.crsWkt.find("MGA zone 56"), std::string::npos) << back.crsWkt;
    EXPECT_EQ(std::pair(reader.BlockWidth(), reader.BlockHeight()), std::pair(256, 256));
    EXPECT_EQ(CellsOf(folder, 33), cells);

    // One tiled, DEFLATE-compressed file and nothing beside it (no .aux.xml, no leftovers).
    const auto ds = OpenDataset(folder / "Flowacc.tif", GDAL_OF_RASTER, {"GTiff"}, {}, "test");
    EXPECT_STREQ(ds->GetMetadataItem("COMPRESSION", "IMAGE_STRUCTURE"), "DEFLATE");
    EXPECT_STREQ(ds->GetMetadataItem("PREDICTOR", "IMAGE_STRUCTURE"), "2");
    EXPECT_EQ(test::Snapshot(folder).size(), 1u);
  }
}

// Until Close the earlier grid and its table stay as they were; a writer that never gets
// there takes its temporary file with it.
TEST(GridWriter, UnfinishedWriteLeavesTheEarlierGridAsItWas) {
  test::TempDir dir;
  const fs::path folder = dir / "Basins";
  const GridGeometry g{0, 10, 1, 10, 10, ""};
  test::WriteGrid(folder, g, Cells(100, 4), -1);
  WriteVat(folder, Vat{{{"Value", DbfType::Integer, 10, 0}, {"Count", DbfType::Integer, 10, 0}},
                       {{std::int64_t{4}, std::int64_t{100}}}});
  const auto before = test::Snapshot(folder);

  // Abandoned after every row; closed after half of them; stopped at a cell 8 bits cannot hold.
  for (const int ending : {0, 1, 2}) {
    SCOPED_TRACE(ending);
    {
      GridWriter writer(folder, g, CellType::UInt8, 255);
      const Cells cells(100, ending == 2 ? 256 : 7);
      if (ending < 2) writer.WriteRows(0, ending == 0 ? 10 : 5, cells.data());
      // What is being written bears no grid's name, so a write cut off by a kill leaves
      // nothing a GIS would take for a grid.
      for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.starts_with("Basins.tif") || !name.ends_with(".tif")) << name;
      }
      if (ending > 0) {
        const AppError e =
            Raised([&] { ending == 1 ? writer.Close() : writer.WriteRows(0, 10, cells.data()); });
        EXPECT_EQ(e.Number(), ending == 1 ? kErrInvalidArgument : kErrOverflow);
      }
      EXPECT_EQ(test::ReadFile(folder / "Basins.tif"), before.at("Basins.tif"));
      EXPECT_TRUE(HasVat(folder));
    }
    EXPECT_EQ(test::Snapshot(folder), before);
  }

  // A finished rewrite replaces the cells and drops the table, which described the old ones,
  // whatever the letter case of folder and files (as a case-insensitive file system leaves them).
  fs::rename(folder / "Basins.tif", folder / "basins.TIF");
  fs::rename(folder / "Basins.tif.vat.dbf", folder / "BASINS.TIF.VAT.DBF");
  ASSERT_TRUE(HasVat(dir / "BASINS"));
  test::WriteGrid(dir / "BASINS", g, Cells(100, 7), -1);
  EXPECT_EQ(CellsOf(folder), Cells(100, 7));
  EXPECT_EQ(test::Snapshot(folder),
            (test::Tree{{"Basins.tif", test::ReadFile(folder / "Basins.tif")}}));
}
