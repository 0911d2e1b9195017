// Value attribute tables written and read back, and tables refused.

#include <functional>

#include "GisTest.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/VatCursor.h"
#include "support/DbfFile.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;

namespace {

Vat Base() {
  return Vat{{{"Value", DbfType::Integer, 10, 0},
              {"Count", DbfType::Integer, 10, 0},
              {"Reach", DbfType::String, 8, 0},
              {"Slope", DbfType::Real, 19, 11},
              {"Since", DbfType::Date, 8, 0}},
             {{std::int64_t{9}, std::int64_t{5}, "Rivière", 0.125, "2021/03/14"},
              {std::int64_t{-3}, std::int64_t{12345}, VatValue{}, VatValue{}, VatValue{}}}};
}

}  // namespace

TEST(GridVat, WrittenTableReadsBackInValueOrderAndRefusesWhatDbaseCannotHold) {
  test::TempDir dir;
  fs::create_directories(dir / "g");
  const Vat base = Base();
  WriteVat(dir / "g", base);
  EXPECT_EQ(test::ReadFile(dir / "g" / "g.tif.vat.cpg"), "UTF-8");
  ASSERT_TRUE(HasVat(dir / "g"));
  const Vat back = ReadVat(dir / "g");
  EXPECT_EQ(back.fields, base.fields);
  EXPECT_EQ(back.rows, (std::vector<VatRow>{base.rows[1], base.rows[0]}));

  const std::vector<std::pair<const char*, void (*)(Vat&)>> refused = {
      {"Value twice", [](Vat& v) { v.rows[1][0] = std::int64_t{9}; }},
      {"no integer Value", [](Vat& v) { v.rows[1][0] = 2.5; }},
      {"no Count", [](Vat& v) { v.fields[1].name = "Cells"; }},
      {"field name too long", [](Vat& v) { v.fields[2].name = "ReachNameXY"; }},
      {"a field twice", [](Vat& v) { v.fields[4].name = "REACH"; }},
      {"text too long", [](Vat& v) { v.rows[0][2] = std::string("Rivières"); }},
      {"row too short", [](Vat& v) { v.rows[0].pop_back(); }},
  };
  for (const auto& [name, spoil] : refused) {
    Vat bad = Base();
    spoil(bad);
    const AppError e = test::Raised([&] { WriteVat(dir / "g", bad); });
    EXPECT_NE(e.Description().find("g.tif.vat.dbf"), std::string::npos)
        << name << ": " << e.Description();
  }
  EXPECT_EQ(ReadVat(dir / "g").rows, back.rows);  // the earlier table stays
}

// A table whose header or values do not hold together is refused by every reader of the store
// before GDAL sees it: a record count far beyond the file's end made GDAL crash while opening,
// and a table cut short read as fewer rows. DbfTableTest shows the other damage the check finds.
TEST(GridVat, DamagedTablesAreRefusedNamingThem) {
  test::TempDir dir;
  fs::create_directories(dir / "g");
  const fs::path dbf = dir / "g" / "g.tif.vat.dbf";
  const std::vector<test::DbfColumn> columns = {{"Value", 'N', 10, 0}, {"Count", 'N', 19, 11}};
  std::string manyRecords = test::DbfBytes(columns, {{{"1", "7.7e+005"}}});
  manyRecords[6] = 0x29;  // 1 record becomes 2 686 977
  const std::string twoRows = test::DbfBytes(columns, {{{"1", "7"}}, {{"2", "8"}}});
  const std::vector<std::pair<const char*, std::string>> damaged = {
      {"record count beyond the end", manyRecords},
      // a full disk or a killed copy: read as fewer rows, the lost values' Comids would go
      {"cut short in its last row", twoRows.substr(0, twoRows.size() - 5)},
  };
  for (const auto& [what, bytes] : damaged) {
    test::WriteFile(dbf, bytes);
    for (const auto& read : std::vector<std::function<void()>>{
             [&] { ReadVat(dir / "g"); },
             [&] { VatCursor(dir / "g", VatCursor::Mode::Read); },
         }) {
      const AppError e = test::Raised(read);
      EXPECT_NE(e.Description().find("g.tif.vat.dbf"), std::string::npos)
          << what << ": " << e.Description();
    }
  }
}
