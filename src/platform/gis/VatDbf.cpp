#include "platform/gis/VatDbf.h"

#include "platform/files/FileSystem.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

VatField FieldOf(const OGRFieldDefn& defn) {
  VatField field{defn.GetNameRef(), DbfType::String, defn.GetWidth(), defn.GetPrecision()};
  switch (defn.GetType()) {
    case OFTInteger:
    case OFTInteger64:
      field.type = DbfType::Integer;
      break;
    case OFTReal:
      field.type = DbfType::Real;
      break;
    case OFTDate:
      field = {field.name, DbfType::Date, 8, 0};
      break;
    default:
      break;
  }
  return field;
}

VatValue ValueOf(const OGRFeature& row, int i, const VatField& field) {
  if (!row.IsFieldSetAndNotNull(i)) return {};
  switch (field.type) {
    case DbfType::Integer:
      return std::int64_t{row.GetFieldAsInteger64(i)};
    case DbfType::Real:
      return row.GetFieldAsDouble(i);
    case DbfType::String:
    case DbfType::Date:
      break;
  }
  return std::string(row.GetFieldAsString(i));
}

void SetValue(OGRFeature& row, int i, const VatField& field, const VatValue& value) {
  if (const auto* n = std::get_if<std::int64_t>(&value)) {
    if (field.type == DbfType::Real)
      row.SetField(i, static_cast<double>(*n));
    else
      row.SetField(i, static_cast<GIntBig>(*n));
  } else if (const auto* d = std::get_if<double>(&value)) {
    if (field.type == DbfType::Integer)
      row.SetField(i, static_cast<GIntBig>(*d));  // integral: checked before writing
    else
      row.SetField(i, *d);
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    if (field.type == DbfType::Date) {
      const DbfDate date = *ParseDbfDate(*s);  // checked before writing
      row.SetField(i, date.year, date.month, date.day);
    } else {
      row.SetField(i, s->c_str());
    }
  } else {
    row.SetFieldNull(i);
  }
}

fs::path VatDbfOf(const fs::path& gridFolder) {
  const GridFolder grid = FindGridFolder(gridFolder);
  return MakeFileSystem()->Resolve(grid.folder / (grid.name + ".tif.vat.dbf"));
}

}  // namespace rivanet::gis
