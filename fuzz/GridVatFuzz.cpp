// The value attribute table reader of the grid store (platform/gis/GridVat.h: ReadVat) on a
// grid folder whose <name>.tif.vat.dbf holds arbitrary bytes. What it gives back must be the
// table the grid phase works on: Value and Count first, one value per field in every row, rows
// in ascending Value order.

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "FuzzSupport.h"
#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/gis/GridVat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rivanet;
  static const auto grid = [] {
    const auto folder = fuzz::ScratchFolder() / "cat";
    std::filesystem::create_directories(folder);
    return folder;
  }();
  fuzz::WriteBytes(grid / "cat.tif.vat.dbf", data, size);
  gis::Vat vat;
  try {
    vat = gis::ReadVat(grid);
  } catch (const AppError&) {
    return 0;  // refused, with the table named
  }
  RIVANET_FUZZ_CHECK(vat.fields.size() >= 2 && SameIgnoringCase(vat.fields[0].name, "Value") &&
                         SameIgnoringCase(vat.fields[1].name, "Count"),
                     "an accepted table without Value and Count first");
  RIVANET_FUZZ_CHECK(gis::FindVatField(vat, "value") == 0, "Value is not found first");
  std::int64_t previous = 0;
  for (std::size_t r = 0; r < vat.rows.size(); ++r) {
    RIVANET_FUZZ_CHECK(vat.rows[r].size() == vat.fields.size(),
                       "a row with a value count unlike the fields");
    std::int64_t value = 0;
    try {
      value = gis::VatInteger(vat.rows[r][0]);
    } catch (const AppError&) {
      fuzz::Broken("an accepted row without an integer Value");
    }
    RIVANET_FUZZ_CHECK(r == 0 || previous <= value, "rows not in ascending Value order");
    previous = value;
  }
  return 0;
}
