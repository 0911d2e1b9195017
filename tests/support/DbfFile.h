#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "workspace/Schema.h"

namespace rivanet::test {

// dBASE III tables written byte for byte, so that a test controls exactly what a file holds:
// values as stored text, damaged headers, odd code pages.

struct DbfColumn {
  std::string name;
  char type = 'C';  // 'C' text, 'N' number, 'D' date
  int width = 10;
  int decimals = 0;
};

struct DbfRecord {
  std::vector<std::string> values;  // stored text; numbers are right-aligned, the rest left
  bool deleted = false;
};

// The bytes of a table: header, field list, records and the end-of-file mark.
std::string DbfBytes(const std::vector<DbfColumn>& columns, const std::vector<DbfRecord>& records);

// Writes `file` and, when `cpg` is given, the .cpg beside it naming its code page.
void WriteDbf(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<DbfRecord>& records,
              const std::optional<std::string>& cpg = "UTF-8");

// The columns of a layout table (Integer as N w.0, Real as N w.p, String as C, Date as D 8).
std::vector<DbfColumn> ColumnsOf(const schema::Table& table);

// Writes the layout's table `name` into `folder` with the given rows (UTF-8 .cpg).
void WriteLayoutTable(const std::filesystem::path& folder, const std::string& name,
                      const std::vector<DbfRecord>& records = {});

}  // namespace rivanet::test
