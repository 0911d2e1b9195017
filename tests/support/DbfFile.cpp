#include "support/DbfFile.h"

#include <stdexcept>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace rivanet::test {
namespace {

// Puts `v` little-endian into `bytes` bytes of `b` from `at`.
void Put(std::string& b, std::size_t at, std::size_t bytes, std::size_t v) {
  for (std::size_t i = 0; i < bytes; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
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
  std::string b(32, '\0');
  b[0] = 0x03;
  Put(b, 1, 3, 0x01017C);  // last update 2024-01-01
  Put(b, 4, 4, records.size());
  Put(b, 8, 2, 32 + 32 * columns.size() + 1);
  Put(b, 10, 2, recordLength);
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
  return b + '\x1A';
}

void WriteDbf(const fs::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<DbfRecord>& records, const std::optional<std::string>& cpg) {
  WriteFile(file, DbfBytes(columns, records));
  if (cpg) WriteFile(fs::path(file).replace_extension(".cpg"), *cpg);
}

std::vector<DbfColumn> ColumnsOf(const schema::Table& table) {
  std::vector<DbfColumn> columns;
  using T = schema::FieldType;
  for (const auto& f : table.fields) {
    const char type = f.type == T::Integer || f.type == T::Real ? 'N'
                      : f.type == T::Date                       ? 'D'
                                                                : 'C';
    columns.push_back(
        {f.name, type, f.type == T::Date ? 8 : f.width, f.type == T::Real ? f.precision : 0});
  }
  return columns;
}

void WriteLayoutTable(const fs::path& folder, const std::string& name,
                      const std::vector<DbfRecord>& records) {
  WriteDbf(folder / (name + ".dbf"), ColumnsOf(schema::FindTable(schema::ShippedSchema(), name)),
           records);
}

}  // namespace rivanet::test
