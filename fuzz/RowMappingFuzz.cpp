// How dBASE rows become SQL values and back (tables/RowMapping.h). The input makes a target
// table's fields, a source table's fields (the target's in another order and letter case, some
// left out, perhaps one the target lacks, each perhaps of another type) and two source rows.
// Checked: the column map pairs fields by name; FromSql gives back what ToSql made; a value
// that already is what its field holds passes unchanged; RowKey tells rows apart exactly when
// they differ.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "DbfKinds.h"
#include "FuzzSupport.h"
#include "platform/Error.h"
#include "platform/Text.h"
#include "tables/RowMapping.h"

namespace {

using rivanet::gis::DbfField;
using rivanet::gis::DbfRow;
using rivanet::gis::DbfType;
using rivanet::gis::DbfValue;
using rivanet::tables::SqlRow;

constexpr const char* kNames[] = {"Comid", "FDate", "GNIS_Name", "AreaSqKm", "Value",
                                  "Count", "A",     "B",         "LenKm",    "Remark"};

std::string CaseVariant(FuzzedDataProvider& in, std::string name) {
  for (char& c : name)
    if (in.ConsumeBool())
      c = (c >= 'a' && c <= 'z')   ? static_cast<char>(c - 'a' + 'A')
          : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a')
                                   : c;
  return name;
}

DbfType AnyType(FuzzedDataProvider& in) {
  return static_cast<DbfType>(in.ConsumeIntegralInRange<int>(0, 3));
}

// A field definition a real table can have (FieldDefinitionProblem accepts it).
DbfField MakeField(FuzzedDataProvider& in, std::string name) {
  DbfField f{std::move(name), AnyType(in), 8, 0};
  switch (f.type) {
    case DbfType::Integer:
      f.width = in.ConsumeIntegralInRange(1, 18);
      break;
    case DbfType::Real:
      f.width = in.ConsumeIntegralInRange(1, 32);
      f.precision = in.ConsumeIntegralInRange(0, f.width - 1);
      break;
    case DbfType::String:
      f.width = in.ConsumeIntegralInRange(1, 254);
      break;
    case DbfType::Date:
      break;
  }
  return f;
}

std::string DateText(FuzzedDataProvider& in) {
  char text[32];
  const char* forms[] = {"%04d/%02d/%02d", "%04d-%02d-%02d", "%04d%02d%02d"};
  std::snprintf(text, sizeof text, forms[in.ConsumeIntegralInRange(0, 2)],
                in.ConsumeIntegralInRange(0, 10000), in.ConsumeIntegralInRange(0, 13),
                in.ConsumeIntegralInRange(0, 32));
  return text;
}

// A value of the kind the dBASE reader gives for `type`, or of any kind. Numbers and text are
// often taken from small sets, so that rows that equal, nearly equal or run together occur.
DbfValue MakeValue(FuzzedDataProvider& in, DbfType type) {
  static constexpr double kReals[] = {0.0,
                                      -0.0,
                                      1.0,
                                      -1.5,
                                      0.125,
                                      1e15,
                                      1e300,
                                      std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN()};
  static constexpr const char* kTexts[] = {"", "t", "i", "r", "n", "tt", "it", "Zürich", "ab"};
  const int choice = in.ConsumeIntegralInRange(0, 6);
  if (choice == 0) return std::monostate{};
  const DbfType kind = choice <= 4 ? type : AnyType(in);
  switch (kind) {
    case DbfType::Integer:
      return in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int64_t>(-3, 3)
                              : in.ConsumeIntegral<std::int64_t>();
    case DbfType::Real:
      switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0:
          return in.PickValueInArray(kReals);
        case 1:
          return static_cast<double>(in.ConsumeIntegralInRange(-1000, 1000)) / 8.0;
        default:
          return in.ConsumeFloatingPoint<double>();
      }
    case DbfType::String:
      return in.ConsumeBool() ? std::string(in.PickValueInArray(kTexts))
                              : in.ConsumeRandomLengthString(300);
    case DbfType::Date:
      return in.ConsumeBool() ? DateText(in) : in.ConsumeRandomLengthString(12);
  }
  return std::monostate{};
}

std::optional<SqlRow> TryToSql(const std::vector<DbfField>& target, rivanet::gis::DbfTextWidth text,
                               const rivanet::tables::ColumnMap& map, const DbfRow& row) {
  try {
    return rivanet::tables::ToSql(target, text, map, row);
  } catch (const rivanet::AppError&) {
    return std::nullopt;  // a value its field cannot hold: the row is refused
  }
}

void CheckSqlRow(const std::vector<DbfField>& source, const std::vector<DbfField>& target,
                 rivanet::gis::DbfTextWidth text, const rivanet::tables::ColumnMap& map,
                 const DbfRow& row, const SqlRow& sql) {
  using namespace rivanet;
  RIVANET_FUZZ_CHECK(sql.size() == target.size(), "ToSql gives a value count unlike the fields");
  for (std::size_t t = 0; t < target.size(); ++t) {
    const int s = map.sourceField[t];
    if (s < 0) {
      RIVANET_FUZZ_CHECK(std::holds_alternative<std::monostate>(sql[t]),
                         "a value for an unmapped field");
      continue;
    }
    RIVANET_FUZZ_CHECK(!gis::ValueProblem(target[t], sql[t], text),
                       "ToSql passes a value that does not fit");
    if (source[s].type == target[t].type && rivanet::fuzz::IsKindOf(target[t].type, row[s])) {
      // A real from a field that declares no more decimals than the target keeps is rounded
      // to them as it will be stored; every other value arrives unchanged.
      const auto* d = std::get_if<double>(&row[s]);
      const int decimals = target[t].precision;
      if (d != nullptr && t < map.rounds.size() && map.rounds[t] &&
          !gis::KeepsDecimals(*d, decimals))
        RIVANET_FUZZ_CHECK(sql[t] == DbfValue(gis::RoundedTo(*d, decimals)),
                           "a real the map rounds was not rounded as it is stored");
      else
        RIVANET_FUZZ_CHECK(sql[t] == row[s], "a value that fits its field was changed");
    }
  }
  // FromSql is ToSql's inverse: what is read back is what was written.
  DbfRow back;
  try {
    back = tables::FromSql(target, sql);
  } catch (const AppError& e) {
    fuzz::Broken("FromSql refuses what ToSql made: " + e.Description());
  }
  RIVANET_FUZZ_CHECK(back == sql, "FromSql(ToSql(row)) differs from ToSql(row)");
  RIVANET_FUZZ_CHECK(tables::RowKey(back) == tables::RowKey(sql),
                     "the round trip changes the row key");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rivanet;
  FuzzedDataProvider in(data, size);

  // Target fields: distinct names (letter case ignored), as a valid table has them.
  std::vector<DbfField> target;
  const int targetCount = in.ConsumeIntegralInRange(1, 8);
  for (int i = 0; i < targetCount; ++i) {
    const std::string name = CaseVariant(in, in.PickValueInArray(kNames));
    bool taken = false;
    for (const auto& f : target) taken = taken || SameIgnoringCase(f.name, name);
    if (!taken) target.push_back(MakeField(in, name));
  }
  // Source fields: some of the target's, in any order and letter case, perhaps of another
  // type, and perhaps one the target lacks.
  std::vector<DbfField> source;
  std::vector<bool> used(target.size(), false);
  const int sourceCount = in.ConsumeIntegralInRange(0, static_cast<int>(target.size()));
  for (int i = 0; i < sourceCount; ++i) {
    const std::size_t t = in.ConsumeIntegralInRange<std::size_t>(0, target.size() - 1);
    if (used[t]) continue;
    used[t] = true;
    DbfField f = in.ConsumeBool() ? target[t] : MakeField(in, target[t].name);
    f.name = CaseVariant(in, f.name);
    source.push_back(f);
  }
  const bool foreign = in.ConsumeIntegralInRange(0, 7) == 0;
  if (foreign)
    source.insert(source.begin() + in.ConsumeIntegralInRange<std::size_t>(0, source.size()),
                  MakeField(in, "Foreign"));

  tables::ColumnMap map;
  try {
    map = tables::MapColumns(source, target, "fuzz");
  } catch (const AppError&) {
    RIVANET_FUZZ_CHECK(foreign, "a source field the target has is refused");
    return 0;
  }
  RIVANET_FUZZ_CHECK(!foreign, "a source field the target lacks is accepted");
  RIVANET_FUZZ_CHECK(map.sourceField.size() == target.size(), "a column map unlike the target");
  std::vector<int> seen(source.size(), 0);
  for (std::size_t t = 0; t < target.size(); ++t) {
    const int s = map.sourceField[t];
    if (s < 0) continue;
    RIVANET_FUZZ_CHECK(static_cast<std::size_t>(s) < source.size() &&
                           SameIgnoringCase(source[s].name, target[t].name),
                       "a column mapped to a field of another name");
    ++seen[s];
  }
  for (int n : seen) RIVANET_FUZZ_CHECK(n == 1, "a source field mapped other than once");

  const auto text = in.ConsumeBool() ? gis::DbfTextWidth::Utf8Bytes : gis::DbfTextWidth::Characters;
  DbfRow first;
  for (const auto& f : source) first.push_back(MakeValue(in, f.type));
  // The second row is the first with some values made anew, so that equal rows occur, or with
  // text moved from the end of one value to the start of the next, so that rows whose text
  // runs together the same way occur.
  DbfRow second = first;
  for (std::size_t s = 0; s < source.size(); ++s) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
      case 1:
        second[s] = MakeValue(in, source[s].type);
        break;
      case 2:
        if (s + 1 < source.size()) {
          auto* from = std::get_if<std::string>(&second[s]);
          auto* to = std::get_if<std::string>(&second[s + 1]);
          if (from != nullptr && to != nullptr) {
            const std::size_t moved = in.ConsumeIntegralInRange<std::size_t>(0, from->size());
            to->insert(0, from->substr(from->size() - moved));
            from->resize(from->size() - moved);
          }
        }
        break;
      default:
        break;
    }
  }

  const auto a = TryToSql(target, text, map, first);
  const auto b = TryToSql(target, text, map, second);
  if (a) CheckSqlRow(source, target, text, map, first, *a);
  if (b) CheckSqlRow(source, target, text, map, second, *b);
  if (a && b)
    RIVANET_FUZZ_CHECK((tables::RowKey(*a) == tables::RowKey(*b)) == (*a == *b),
                       "RowKey does not tell rows apart exactly when they differ");
  return 0;
}
