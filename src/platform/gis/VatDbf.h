#pragma once

// Values of a value attribute table as OGR stores them in a dBASE table. Private to the GIS
// library: it hands out OGR objects.

#include <filesystem>
#include <string>

#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridVat.h"

namespace rivanet::gis {

// The field as the table stores it.
VatField FieldOf(const OGRFieldDefn& defn);
// The value of field `i` (of definition `field`) of a row: none when unset.
VatValue ValueOf(const OGRFeature& row, int i, const VatField& field);
// Sets field `i`; the value must have passed FieldValueProblem for `field`.
void SetValue(OGRFeature& row, int i, const VatField& field, const VatValue& value);

// <folder>/<name>.tif.vat.dbf of a grid folder, as found on disk (or as it would be written).
std::filesystem::path VatDbfOf(const std::filesystem::path& gridFolder);

}  // namespace rivanet::gis
