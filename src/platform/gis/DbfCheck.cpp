#include "platform/gis/DbfCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/DbfFields.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr unsigned char kFieldListEnd = 0x0D;
constexpr unsigned char kEndOfFile = 0x1A;
constexpr std::size_t kChunkBytes = 1 << 20;  // records are checked a megabyte at a time
constexpr std::size_t kShownValue = 20;

struct StoredField {
  std::string name;
  char type = 'C';
  std::size_t offset = 0;  // in the record, after the deletion flag
  std::size_t width = 0;
  std::size_t decimals = 0;
};

struct Layout {
  std::uint32_t records = 0;
  std::size_t headerLength = 0;
  std::size_t recordLength = 0;
  std::vector<StoredField> fields;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

unsigned Byte(const std::vector<unsigned char>& b, std::size_t at) { return b[at]; }

std::uint32_t Little32(const std::vector<unsigned char>& b, std::size_t at) {
  return Byte(b, at) | Byte(b, at + 1) << 8 | Byte(b, at + 2) << 16 | Byte(b, at + 3) << 24;
}

std::size_t Little16(const std::vector<unsigned char>& b, std::size_t at) {
  return Byte(b, at) | Byte(b, at + 1) << 8;
}

bool Blank(char c) { return c == ' ' || c == '\0'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// True when a NUL stands before text: NULs after the text are the padding some writers use.
bool HasInnerNul(std::string_view stored) {
  const std::size_t nul = stored.find('\0');
  return nul != std::string_view::npos &&
         stored.find_first_not_of(std::string_view(" \0", 2), nul) != std::string_view::npos;
}

// Reads `count` bytes at the current position; AppError naming the file when they are not there.
void ReadExactly(std::FILE* f, void* into, std::size_t count, const fs::path& file) {
  if (count == 0) return;
  if (std::fread(into, 1, count, f) != count) {
    if (std::ferror(f)) throw AppError::FromErrno(errno != 0 ? errno : EIO, DisplayPath(file));
    throw FileError(kErrInvalidArgument, "The dBASE table ends before its header or its records do",
                    file);
  }
}

// `tableOfValues`: a table read for its values must have fields; a feature class's attribute
// table may have none (the shapes are its content).
Layout ReadLayout(std::FILE* f, const fs::path& file, bool tableOfValues) {
  std::vector<unsigned char> header(kHeaderSize);
  ReadExactly(f, header.data(), header.size(), file);
  Layout layout;
  layout.records = Little32(header, 4);
  layout.headerLength = Little16(header, 8);
  layout.recordLength = Little16(header, 10);
  if (layout.headerLength < kHeaderSize + 1 || layout.recordLength < 1)
    throw FileError(kErrInvalidArgument, "Not a dBASE table: its header gives impossible lengths",
                    file);
  header.resize(layout.headerLength);
  ReadExactly(f, header.data() + kHeaderSize, layout.headerLength - kHeaderSize, file);

  std::size_t offset = 0;
  std::size_t at = kHeaderSize;
  for (; at + kDescriptorSize <= layout.headerLength && header[at] != kFieldListEnd;
       at += kDescriptorSize) {
    StoredField field;
    for (std::size_t i = 0; i < 11 && header[at + i] != 0; ++i)
      field.name.push_back(static_cast<char>(header[at + i]));
    field.type = static_cast<char>(header[at + 11]);
    field.offset = offset;
    field.width = header[at + 16];
    field.decimals = header[at + 17];
    offset += field.width;
    // GDAL reads the dBASE III types; of any other it would hand on the stored bytes, or for a
    // memo the number of its block in the .dbt file instead of its text.
    if (std::string_view("CNFDL").find(field.type) == std::string_view::npos)
      throw FileError(kErrInvalidArgument,
                      "Field \"" + field.name + "\" is of dBASE type '" + field.type + "'" +
                          (field.type == 'M' ? " (memo, its text kept in another file)" : "") +
                          ", which the run cannot read; only C, N, F, D and L are read",
                      file);
    // GDAL would read one of them and drop the other unseen.
    for (const StoredField& earlier : layout.fields)
      if (SameIgnoringCase(earlier.name, field.name))
        throw FileError(kErrInvalidArgument,
                        "The dBASE header names the field \"" + field.name + "\" twice", file);
    layout.fields.push_back(std::move(field));
  }
  if (at >= layout.headerLength || header[at] != kFieldListEnd)
    throw FileError(kErrInvalidArgument,
                    "The dBASE header is damaged: its field list has no end mark", file);
  if (layout.fields.empty() && tableOfValues)
    throw FileError(kErrInvalidArgument, "The dBASE table has no fields", file);
  if (offset + 1 != layout.recordLength)
    throw FileError(kErrInvalidArgument,
                    "The dBASE header is damaged: its fields are " + std::to_string(offset + 1) +
                        " bytes wide with the deletion flag, its records " +
                        std::to_string(layout.recordLength),
                    file);
  return layout;
}

void CheckSize(std::FILE* f, const Layout& layout, const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
  const std::uintmax_t expected =
      layout.headerLength + std::uintmax_t{layout.records} * layout.recordLength;
  bool fits = size == expected;
  if (size == expected + 1) {
    // The one byte after the last record may only be the end-of-file mark.
    unsigned char last = 0;
    if (std::fseek(f, static_cast<long>(expected), SEEK_SET) != 0)
      throw AppError::FromErrno(errno, DisplayPath(file));
    ReadExactly(f, &last, 1, file);
    fits = last == kEndOfFile;
  }
  if (!fits)
    throw FileError(kErrInvalidArgument,
                    "The dBASE header counts " + std::to_string(layout.records) + " records of " +
                        std::to_string(layout.recordLength) + " bytes, which needs a file of " +
                        std::to_string(expected) + " bytes, but the file has " +
                        std::to_string(size) + " bytes",
                    file);
}

std::string Shown(std::string_view stored) {
  std::string shown(Trimmed(stored).substr(0, kShownValue));
  if (Trimmed(stored).size() > kShownValue) shown += "...";
  return "\"" + shown + "\"";
}

void CheckRecord(const unsigned char* record, std::uint64_t number, const Layout& layout,
                 const fs::path& file) {
  if (record[0] == '*') return;  // deleted: GDAL passes over it, and so does the append
  const auto* data = reinterpret_cast<const char*>(record + 1);
  for (const StoredField& field : layout.fields) {
    const std::string_view stored(data + field.offset, field.width);
    const char* what = nullptr;
    if (field.type == 'N' || field.type == 'F') {
      if (!IsDbfNumberText(stored))
        what = "is not a number";
      else if (field.decimals == 0 && stored.find_first_of(".eE") != std::string_view::npos)
        // GDAL reads such a field as whole numbers and would cut "12.7" to 12, "1e3" to 1.
        what = "is not a whole number, as its field (no decimals) holds";
    } else if (field.type == 'D' && !IsDbfDateText(stored)) {
      what = "is not a date (YYYYMMDD)";
    } else if (field.type == 'C' && HasInnerNul(stored)) {
      // GDAL's text ends at the first NUL; what follows it would be lost unseen.
      what = "holds a NUL character inside its text";
    }
    if (what != nullptr)
      throw FileError(kErrInvalidArgument,
                      "Row " + std::to_string(number) + ", field \"" + field.name +
                          "\": " + Shown(stored) + " " + what,
                      file);
  }
}

}  // namespace

bool IsDbfNumberText(std::string_view stored) {
  const std::string_view text = Trimmed(stored);
  if (text.empty() || text.find_first_not_of('*') == std::string_view::npos) return true;
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && Digit(text[i])) ++i;
    return i - from;
  };
  if (text[i] == '+' || text[i] == '-') ++i;
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

bool IsDbfDateText(std::string_view stored) {
  const std::string_view text = Trimmed(stored);
  if (text.empty() || text == "00000000") return true;
  return text.size() == 8 && ParseDbfDate(text).has_value();
}

void CheckDbfFile(const fs::path& file, bool tableOfValues) {
  const FilePtr f(std::fopen(file.c_str(), "rb"));
  if (!f) throw AppError::FromErrno(errno, DisplayPath(file));
  const Layout layout = ReadLayout(f.get(), file, tableOfValues);
  CheckSize(f.get(), layout, file);
  if (std::fseek(f.get(), static_cast<long>(layout.headerLength), SEEK_SET) != 0)
    throw AppError::FromErrno(errno, DisplayPath(file));

  const std::size_t perChunk = std::max<std::size_t>(1, kChunkBytes / layout.recordLength);
  std::vector<unsigned char> chunk(perChunk * layout.recordLength);
  std::uint64_t number = 0;
  for (std::uint64_t left = layout.records; left > 0;) {
    const std::size_t count = left < perChunk ? static_cast<std::size_t>(left) : perChunk;
    ReadExactly(f.get(), chunk.data(), count * layout.recordLength, file);
    for (std::size_t r = 0; r < count; ++r)
      CheckRecord(chunk.data() + r * layout.recordLength, ++number, layout, file);
    left -= count;
  }
}

}  // namespace rivanet::gis
