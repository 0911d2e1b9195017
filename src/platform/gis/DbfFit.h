#pragma once

#include <optional>
#include <string>

#include "platform/gis/DbfFields.h"

namespace rivanet::gis {

// Whether a value fits a dBASE field, as FieldValueProblem (DbfFields.h) decides it, but quick
// for the values tables are made of (checked once per value of every row appended), and with
// text measured the way the table stores it.

// How a table's text fields count their width. GDAL converts text to the table's code page
// when it writes, so UTF-8 text takes one byte per character in a single-byte code page.
enum class DbfTextWidth {
  Utf8Bytes,   // UTF-8 tables, tables without a code page, and every multi-byte code page
  Characters,  // single-byte code pages: ISO-8859-*, Windows and DOS code pages
};

// The width rule for a table whose code page GDAL names `encoding` ("" when none is named).
DbfTextWidth TextWidthFor(const std::string& encoding);

// Nothing when `value` fits `field`, else a sentence naming the field and the value.
std::optional<std::string> ValueProblem(const DbfField& field, const DbfValue& value,
                                        DbfTextWidth text);

}  // namespace rivanet::gis
