// dBASE tables read and appended to through the GIS library: what is refused, what reads as no
// value, and how code pages travel. The table phase's tests append to them whole or not at all.

#include "GisTest.h"
#include "platform/gis/DbfAppender.h"
#include "platform/gis/DbfReader.h"
#include "support/DbfFile.h"

namespace fs = std::filesystem;
using namespace rivanet;
using namespace rivanet::gis;
using test::DbfColumn;
using test::DbfRecord;

namespace {

const std::vector<DbfColumn> kColumns = {
    {"Comid", 'N', 10, 0}, {"Length", 'N', 8, 3}, {"Name", 'C', 8, 0}, {"Since", 'D', 8, 0}};

std::vector<DbfRow> ReadAll(const fs::path& file) {
  DbfReader reader(file);
  std::vector<DbfRow> rows;
  for (DbfRow row; reader.Next(row);) rows.push_back(row);
  return rows;
}

DbfRow Row(std::int64_t comid, DbfValue length, DbfValue name, DbfValue since) {
  return {comid, std::move(length), std::move(name), std::move(since)};
}

}  // namespace

TEST(DbfTable, StoredTextReadsAsValuesOrIsRefusedNamingFileRowAndField) {
  test::TempDir dir;
  // A good table: blanks and the '*' fill are no value, deleted records are passed over.
  const fs::path good = dir / "good.dbf";
  test::WriteDbf(good, kColumns,
                 {{{"1", "2.500", "Rivière", "20210314"}},
                  {{"2", "", "", ""}, true},
                  {{"3", "*****", "", "00000000"}},
                  {{"-4", "-0.125", "x", "        "}}});
  EXPECT_EQ(ReadAll(good), (std::vector<DbfRow>{Row(1, 2.5, "Rivière", "2021/03/14"),
                                                Row(3, {}, {}, {}), Row(-4, -0.125, "x", {})}));
  DbfReader numbered(good);
  DbfRow row;
  for (int i = 0; i < 2; ++i) numbered.Next(row);
  EXPECT_EQ(numbered.RecordNumber(), 3);  // the deleted record still counts

  const std::string base = test::DbfBytes(kColumns, {{{"1", "2.5", "a", "20200101"}}});
  std::string longer = base;
  longer.insert(longer.size() - 1, std::string(45, ' '));  // one record more than counted
  std::string noEnd = base;
  noEnd[32 + 4 * 32] = ' ';  // the field list's end mark
  // What is wrong, the file's bytes, and what the error says.
  const std::vector<std::tuple<const char*, std::string, const char*>> bad = {
      {"cut short", base.substr(0, base.size() - 10), "counts 1 records"},
      {"header shorter than its own length", base.substr(0, 40), "ends before"},
      {"a record more than counted", longer, "counts 1 records"},
      {"no end of the field list", noEnd, "no end mark"},
      {"no fields", test::DbfBytes({}, {}), "no fields"},
      {"text in a number", test::DbfBytes(kColumns, {{{"1", "2.5", "", ""}}, {{"1x", "", "", ""}}}),
       "Row 2, field \"Comid\": \"1x\" is not a number"},
      {"impossible date", test::DbfBytes(kColumns, {{{"1", "", "", "20231345"}}}),
       "\"20231345\" is not a date"},
      // What GDAL would read as something else than the file holds.
      {"a fraction where the field has no decimals",
       test::DbfBytes(kColumns, {{{"12.7", "", "", ""}}}),
       "Row 1, field \"Comid\": \"12.7\" is not a whole number"},
      {"an exponent there", test::DbfBytes(kColumns, {{{"1e3", "", "", ""}}}),
       "\"1e3\" is not a whole number"},
      {"a memo field", test::DbfBytes({{"Changes", 'M', 10, 0}}, {{{"1"}}}),
       "Field \"Changes\" is of dBASE type 'M' (memo"},
      {"a field named twice",
       test::DbfBytes({{"Comid", 'N', 10, 0}, {"COMID", 'N', 10, 0}}, {{{"1", "2"}}}),
       "names the field \"COMID\" twice"},
      {"a NUL inside text", test::DbfBytes(kColumns, {{{"1", "", std::string("ab\0cd", 5), ""}}}),
       "Row 1, field \"Name\": \"ab"},
      {"bytes of a code page the table does not name",
       test::DbfBytes(kColumns, {{{"1", "", "Rivi\xE8re", ""}}}),
       "Row 1, field \"Name\": the text is not written in the table's code page (the table "
       "names none"},
  };
  for (const auto& [name, bytes, says] : bad) {
    const fs::path file = dir / "bad.dbf";
    test::WriteFile(file, bytes);
    const AppError e = test::Raised([&] { ReadAll(file); });
    EXPECT_NE(e.Description().find(says), std::string::npos) << name << ": " << e.Description();
    EXPECT_NE(e.Description().find(file.string()), std::string::npos) << name;
  }
  const AppError missing = test::Raised([&] { DbfReader reader(dir / "absent.dbf"); });
  EXPECT_NE(missing.Description().find("absent.dbf"), std::string::npos);
}

TEST(DbfTable, CodePagesTravelAsUtf8AndBackAndWidthsCountTheTablesBytes) {
  test::TempDir dir;
  // "Rivière" in Latin-1 is 7 bytes, in UTF-8 8: it fits a Latin-1 field of 7, not a UTF-8 one.
  const std::vector<DbfColumn> name = {{"Name", 'C', 7, 0}};
  test::WriteDbf(dir / "utf8.dbf", name, {});
  test::WriteDbf(dir / "target.dbf", name, {}, "ISO-8859-1");
  {
    DbfAppender latin(dir / "target.dbf");
    EXPECT_EQ(latin.TextWidth(), DbfTextWidth::Characters);
    latin.Add({"Rivière"});
    latin.Commit();
  }
  EXPECT_EQ(ReadAll(dir / "target.dbf"), (std::vector<DbfRow>{{"Rivière"}}));
  EXPECT_NE(test::ReadFile(dir / "target.dbf").find("Rivi\xE8re"), std::string::npos);
  EXPECT_EQ(test::ReadFile(dir / "target.cpg"), "ISO-8859-1");

  const auto before = test::Snapshot(dir.Path());
  for (const auto& [table, text] : {std::pair{"utf8.dbf", "Rivière"}, {"target.dbf", "Zürich ✓"}}) {
    // Named copies: clang before 16 cannot capture structured bindings in a lambda.
    const fs::path path = dir / table;
    const std::string value = text;
    const AppError e = test::Raised([&] {
      DbfAppender out(path);
      out.Add({value});
      out.Commit();
    });
    EXPECT_NE(e.Description().find(table), std::string::npos) << e.Description();
  }
  EXPECT_EQ(test::Changes(before, test::Snapshot(dir.Path())), test::kNoChanges);

  // Latin-1 bytes in a table whose .cpg says UTF-8 are not handed on as they are.
  test::WriteDbf(dir / "mislabelled.dbf", name, {{{"Rivi\xE8re"}}}, "UTF-8");
  const AppError e = test::Raised([&] { ReadAll(dir / "mislabelled.dbf"); });
  EXPECT_NE(e.Description().find("not written in the table's code page (UTF-8)"), std::string::npos)
      << e.Description();
  // ISO-8859-1 stands for the Windows-1252 that Windows wrote: 0x80 is the euro sign, 0x93 and
  // 0x94 quotes. A byte Windows-1252 leaves undefined is no character.
  test::WriteDbf(dir / "windows.dbf", name, {{{"\x80 5"}}, {{"\x93\xE9t\xE9\x94"}}}, "ISO-8859-1");
  EXPECT_EQ(ReadAll(dir / "windows.dbf"), (std::vector<DbfRow>{{"€ 5"}, {"“été”"}}));
  test::WriteDbf(dir / "undefined.dbf", name, {{{"A\x81"}}}, "ISO-8859-1");
  EXPECT_NE(test::Raised([&] { ReadAll(dir / "undefined.dbf"); }).Description().find("Row 1"),
            std::string::npos);
}

TEST(DbfTable, TablesArcGisWroteReadInFullAndTakeTheirOwnRowsAgainUnchanged) {
  const fs::path data = RIVANET_TEST_DATA;
  const std::vector<std::pair<const char*, std::size_t>> tables = {
      {"shapefiles/Place_Names.dbf", 105},
      {"shapefiles/Armidale_Dumaresq_Council_GDAz56.dbf", 1},
      {"shapefiles/mcass_studyareatemplate30m_sml.dbf", 1},
      {"arcgis-tiff-vat/netvegkc100m_sml.tif.vat.dbf", 14}};
  for (const auto& [file, rows] : tables) EXPECT_EQ(ReadAll(data / file).size(), rows) << file;

  test::TempDir dir;
  for (const char* ext : {".dbf", ".cpg"})
    fs::copy_file(data / (std::string("shapefiles/Place_Names") + ext),
                  dir / (std::string("Place_Names") + ext));
  const std::vector<DbfRow> original = ReadAll(dir / "Place_Names.dbf");
  DbfAppender again(dir / "Place_Names.dbf");
  for (const DbfRow& row : original) again.Add(row);
  again.Commit();
  std::vector<DbfRow> twice = original;
  twice.insert(twice.end(), original.begin(), original.end());
  EXPECT_EQ(ReadAll(dir / "Place_Names.dbf"), twice);
}
