#include "support/DbfFile.h"

#include <stdexcept>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace rivanet::test {
namespace {

void Put16(std::string& b, std::size_t at, unsigned v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& b, std::size_t at, unsigned v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

std::string Padded(const std::string& value, const DbfColumn& c) {
  if (value.size() > static_cast<std::size_t>(c.width))
    throw std::invalid_argument("value wider than its column: " + value);
  const std::string fill(c.width - value.size(), ' ');
  return c.type == 'N' || c.type == 'F' ? fill + value : value + fill;
}

}  // namespace

std::string DbfBytes(const std::vector<DbfColumn>& columns, const std::vector<DbfRecord>& records) {
  std::size_t recordLength = 1;
  for (const auto& c : columns) recordLength += c.width;
  const std::size_t headerLength = 32 + 32 * columns.size() + 1;
  std::string b(32, '\0');
  b[0] = 0x03;
  b[1] = 124;  // last update 2024-01-01
  b[2] = 1;
  b[3] = 1;
  Put32(b, 4, static_cast<unsigned>(records.size()));
  Put16(b, 8, static_cast<unsigned>(headerLength));
  Put16(b, 10, static_cast<unsigned>(recordLength));
  for (const auto& c : columns) {
    std::string d(32, '\0');
    d.replace(0, c.name.size(), c.name);
    d[11] = c.type;
    d[16] = static_cast<char>(c.width);
    d[17] = static_cast<char>(c.decimals);
    b += d;
  }
  b += '\x0D';
  for (const auto& r : records) {
    if (r.values.size() != columns.size()) throw std::invalid_argument("record of wrong length");
    b += r.deleted ? '*' : ' ';
    for (std::size_t i = 0; i < columns.size(); ++i) b += Padded(r.values[i], columns[i]);
  }
  b += '\x1A';
  return b;
}

void WriteDbf(const fs::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<DbfRecord>& records, const std::optional<std::string>& cpg) {
  WriteFile(file, DbfBytes(columns, records));
  if (cpg) WriteFile(fs::path(file).replace_extension(".cpg"), *cpg);
}

std::vector<DbfColumn> ColumnsOf(const schema::Table& table) {
  std::vector<DbfColumn> columns;
  for (const auto& f : table.fields) {
    switch (f.type) {
      case schema::FieldType::Integer:
        columns.push_back({f.name, 'N', f.width, 0});
        break;
      case schema::FieldType::Real:
        columns.push_back({f.name, 'N', f.width, f.precision});
        break;
      case schema::FieldType::String:
        columns.push_back({f.name, 'C', f.width, 0});
        break;
      case schema::FieldType::Date:
        columns.push_back({f.name, 'D', 8, 0});
        break;
    }
  }
  return columns;
}

void WriteLayoutTable(const fs::path& folder, const std::string& name,
                      const std::vector<DbfRecord>& records) {
  WriteDbf(folder / (name + ".dbf"), ColumnsOf(schema::FindTable(schema::ShippedSchema(), name)),
           records);
}

}  // namespace rivanet::test
