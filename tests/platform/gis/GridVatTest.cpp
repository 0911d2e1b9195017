// Value attribute tables written and read back, and tables refused.

#include "GisTest.h"
#include "platform/gis/GridVat.h"

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

  // A table cut short (a full disk, a killed copy) is refused, not read as fewer rows.
  const std::string whole = test::ReadFile(dir / "g" / "g.tif.vat.dbf");
  test::WriteFile(dir / "g" / "g.tif.vat.dbf", whole.substr(0, whole.size() - 5));
  const AppError cut = test::Raised([&] { ReadVat(dir / "g"); });
  EXPECT_NE(cut.Description().find("g.tif.vat.dbf"), std::string::npos) << cut.Description();
}
