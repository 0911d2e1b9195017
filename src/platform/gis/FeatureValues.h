#pragma once

// Attribute values on their way from an input feature to an output field: read, converted where
// that loses nothing, explained when they do not fit, written. Private to the GIS library.

#include <string>

#include "platform/gis/DbfFields.h"
#include "platform/gis/GdalSupport.h"

namespace rivanet::gis {

// The value of an input field as the dBASE checks take it (a date as text YYYY/MM/DD).
DbfValue ValueOf(const OGRFeature& feature, int field, OGRFieldType type);

// `value` in the type of a `type` field where it converts without loss: text that is a number
// into a number field, a number into a text field (as its shortest text form), an integer into
// a real field. Anything else stays as it is, for FieldValueProblem to refuse.
DbfValue Converted(DbfValue value, DbfType type);

// Why `value` does not fit `field`, for a value the quick bounds of an append have refused. The
// bounds of a 32-bit output field are narrower than its width, hence a sentence of its own.
std::string ProblemWith(const DbfField& field, const DbfValue& value);

// Puts a value that FieldValueProblem has passed for `field` into the output feature.
void PutConverted(OGRFeature& out, int to, const DbfField& field, const DbfValue& value);

}  // namespace rivanet::gis
