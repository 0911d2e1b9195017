#pragma once

#include <filesystem>
#include <string_view>

namespace rivanet::gis {

// GDAL reads a dBASE table leniently: text in a number field comes back as 0, a date such as
// 20231345 as day 45 of month 13, and a file cut short as fewer rows. A table whose content
// the program appends elsewhere is therefore checked against its own bytes first, and refused
// with the file, the row and the field named instead of being appended with made-up values.
//
// Refused: a file shorter than its header, a damaged header or field list, a table without
// fields, a field of a type other than C, N, F, D and L (a memo, for one), a field name twice
// (letter case ignored), a header whose record count disagrees with the file size (one
// end-of-file mark allowed), a number field holding anything but a number, blanks or the '*'
// fill that marks no value, a fraction or exponent in a number field without decimals, a date
// field holding anything but a calendar date YYYYMMDD, blanks or zeros, and text with a NUL
// character inside it.
// Deleted records are not looked at. Throws AppError naming the file (and row and field).
// `tableOfValues`: a table read for its values must have fields; a feature class's attribute
// table may have none (its shapes are its content).
void CheckDbfFile(const std::filesystem::path& file, bool tableOfValues = true);

// The value checks on one field's stored bytes: true for a number (optional sign, digits, a
// decimal point, an exponent), for blanks, and for the '*' fill.
bool IsDbfNumberText(std::string_view stored);
// True for a calendar date YYYYMMDD, for blanks and for "00000000".
bool IsDbfDateText(std::string_view stored);

}  // namespace rivanet::gis
