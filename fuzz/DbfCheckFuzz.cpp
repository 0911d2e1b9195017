// The dBASE file check (platform/gis/DbfCheck.h) on arbitrary file bytes. A file it accepts is
// then read with the dBASE reader, which relies on the check: every value must come back as
// what its field holds.

#include <cstddef>
#include <cstdint>
#include <string>

#include "DbfKinds.h"
#include "FuzzSupport.h"
#include "platform/Error.h"
#include "platform/gis/DbfCheck.h"
#include "platform/gis/DbfReader.h"

namespace {

bool HoldsFieldKind(const rivanet::gis::DbfField& field, const rivanet::gis::DbfValue& v) {
  return std::holds_alternative<std::monostate>(v) || rivanet::fuzz::IsKindOf(field.type, v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rivanet;
  const auto file = fuzz::InputFile("table.dbf", data, size);
  try {
    gis::CheckDbfFile(file);
  } catch (const AppError&) {
    return 0;  // refused, with the file (and row and field) named
  }
  try {
    gis::DbfReader reader(file);
    const auto& fields = reader.Fields();
    RIVANET_FUZZ_CHECK(!fields.empty(), "an accepted table without fields");
    gis::DbfRow row;
    std::int64_t last = 0;
    while (reader.Next(row)) {
      RIVANET_FUZZ_CHECK(row.size() == fields.size(), "a row with a value count unlike the fields");
      for (std::size_t i = 0; i < row.size(); ++i)
        RIVANET_FUZZ_CHECK(HoldsFieldKind(fields[i], row[i]),
                           "field " + fields[i].name + " reads back as another kind");
      RIVANET_FUZZ_CHECK(reader.RecordNumber() > last, "record numbers do not increase");
      last = reader.RecordNumber();
      RIVANET_FUZZ_CHECK(static_cast<std::size_t>(last) <= size, "more records than bytes");
    }
  } catch (const AppError&) {
    // The reader may still refuse what GDAL cannot open; the check is about values.
  }
  return 0;
}
