#include "platform/gis/FileHeaders.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

constexpr char kEndOfFile = 0x1A;

std::uint64_t LittleEndian(const unsigned char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

std::uint64_t BigEndian(const unsigned char* bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | bytes[i];
  return value;
}

std::uint64_t SizeOf(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
  return size;
}

}  // namespace

DbfHeader ReadDbfHeader(const fs::path& dbf) {
  std::ifstream in(dbf, std::ios::binary);
  std::array<unsigned char, 32> bytes{};
  if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size()))
    throw FileError(kErrInvalidArgument, "Attribute table is too short to be a dBASE file", dbf);
  return {LittleEndian(&bytes[4], 4), LittleEndian(&bytes[8], 2), LittleEndian(&bytes[10], 2)};
}

void CheckShpHeader(const fs::path& shp) {
  constexpr std::uint64_t kFileCode = 9994;
  std::ifstream in(shp, std::ios::binary);
  std::array<unsigned char, 100> bytes{};
  if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size()) ||
      BigEndian(&bytes[0]) != kFileCode)
    throw FileError(kErrInvalidArgument, "Not a shapefile (no .shp header)", shp);
  const std::uint64_t announced = 2 * BigEndian(&bytes[24]);  // counted in 16-bit words
  const std::uint64_t size = SizeOf(shp);
  if (size < announced)
    throw FileError(kErrInvalidArgument,
                    "Shapefile is truncated: its header announces " + std::to_string(announced) +
                        " bytes, the file holds " + std::to_string(size),
                    shp);
}

Extent ReadHeaderExtent(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::array<unsigned char, 100> bytes{};
  if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size()))
    throw FileError(kErrInvalidArgument, "Not a shapefile (no header)", file);
  double bounds[4] = {};  // xmin, ymin, xmax, ymax: little-endian doubles from byte 36
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t bits = LittleEndian(&bytes[36 + 8 * i], 8);
    std::memcpy(&bounds[i], &bits, sizeof(double));
  }
  return {bounds[0], bounds[1], bounds[2], bounds[3]};
}

std::uint64_t CheckDbfHeader(const fs::path& dbf, std::int64_t shapes) {
  const DbfHeader h = ReadDbfHeader(dbf);
  const std::uint64_t size = SizeOf(dbf);
  if (size < h.End())
    throw FileError(kErrInvalidArgument,
                    "Attribute table is truncated: its header announces " +
                        std::to_string(h.records) + " records of " + std::to_string(h.recordBytes) +
                        " bytes, the file holds " + std::to_string(size) + " bytes",
                    dbf);
  if (static_cast<std::int64_t>(h.records) != shapes)
    throw FileError(kErrInvalidArgument,
                    "The shapefile holds " + std::to_string(shapes) +
                        " shapes but its attribute table " + std::to_string(h.records) + " records",
                    dbf);
  return h.recordBytes;
}

void EndDbfWithMark(const fs::path& dbf) {
  const DbfHeader h = ReadDbfHeader(dbf);
  if (SizeOf(dbf) != h.End()) return;  // the mark is there (or something else we leave alone)
  std::ofstream out(dbf, std::ios::binary | std::ios::app);
  if (!out.put(kEndOfFile) || !out.flush()) throw AppError::FromErrno(EIO, DisplayPath(dbf));
}

namespace {

void PutBigEndian(unsigned char* bytes, std::uint64_t value) {
  for (int i = 3; i >= 0; --i, value >>= 8) bytes[i] = static_cast<unsigned char>(value & 0xFF);
}

void PutLittleEndian(unsigned char* bytes, std::uint64_t value, int count) {
  for (int i = 0; i < count; ++i, value >>= 8) bytes[i] = static_cast<unsigned char>(value & 0xFF);
}

double DoubleAt(const unsigned char* bytes) {
  const std::uint64_t bits = LittleEndian(bytes, 8);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void PutDouble(unsigned char* bytes, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof value);
  PutLittleEndian(bytes, bits, 8);
}

std::vector<unsigned char> ReadBytes(std::fstream& file, std::uint64_t at, std::size_t count) {
  std::vector<unsigned char> bytes(count);
  file.seekg(static_cast<std::streamoff>(at));
  if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count)))
    bytes.clear();
  file.clear();
  return bytes;
}

void WriteBytes(std::fstream& file, std::uint64_t at, const unsigned char* bytes, std::size_t count,
                const fs::path& shown) {
  file.seekp(static_cast<std::streamoff>(at));
  if (!file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count)) ||
      !file.flush())
    throw AppError::FromErrno(EIO, DisplayPath(shown));
}

void Truncate(const fs::path& file, std::uint64_t size) {
  std::error_code ec;
  fs::resize_file(file, size, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
}

std::fstream OpenForUpdate(const fs::path& file) {
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  if (!f) throw AppError::FromErrno(errno != 0 ? errno : EIO, DisplayPath(file));
  return f;
}

}  // namespace

void WriteHeaderExtent(const fs::path& file, const Extent& extent) {
  std::fstream f = OpenForUpdate(file);
  unsigned char bounds[32];
  const double values[4] = {extent.minX, extent.minY, extent.maxX, extent.maxY};
  for (int i = 0; i < 4; ++i) PutDouble(&bounds[8 * i], values[i]);
  WriteBytes(f, 36, bounds, sizeof bounds, file);
}

void CutToWholeRecords(const fs::path& shp, const fs::path& shx, const fs::path& dbf) {
  constexpr std::uint64_t kHeader = 100, kIndexEntry = 8, kRecordHeader = 8;
  std::fstream shpFile = OpenForUpdate(shp);
  std::fstream shxFile = OpenForUpdate(shx);
  std::vector<unsigned char> shpHeader = ReadBytes(shpFile, 0, kHeader);
  std::vector<unsigned char> shxHeader = ReadBytes(shxFile, 0, kHeader);
  if (shpHeader.empty() || shxHeader.empty())
    throw FileError(kErrInvalidArgument, "Not a shapefile (no header)", shp);
  const std::uint64_t shpSize = SizeOf(shp);
  const DbfHeader table = ReadDbfHeader(dbf);
  const std::uint64_t dbfSize = SizeOf(dbf);
  std::uint64_t records =
      std::min<std::uint64_t>((SizeOf(shx) - kHeader) / kIndexEntry, table.records);
  if (table.recordBytes > 0)
    records = std::min(records, dbfSize < table.headerBytes
                                    ? 0
                                    : (dbfSize - table.headerBytes) / table.recordBytes);

  // The whole records in file order, and their bounds.
  std::uint64_t shpEnd = kHeader, kept = 0;
  double bounds[4] = {0, 0, 0, 0};  // xmin, ymin, xmax, ymax
  bool anyShape = false;
  for (; kept < records; ++kept) {
    const std::vector<unsigned char> entry =
        ReadBytes(shxFile, kHeader + kept * kIndexEntry, kIndexEntry);
    if (entry.empty()) break;
    const std::uint64_t offset = 2 * BigEndian(&entry[0]);
    const std::uint64_t end = offset + kRecordHeader + 2 * BigEndian(&entry[4]);
    if (offset < shpEnd || end > shpSize) break;
    shpEnd = end;
    // The shape type, then a point's x and y or a shape's bounds.
    const std::vector<unsigned char> start = ReadBytes(
        shpFile, offset + kRecordHeader, std::min<std::uint64_t>(end - offset - kRecordHeader, 36));
    if (start.size() < 20 || LittleEndian(&start[0], 4) == 0) continue;  // no shape
    const int type = static_cast<int>(LittleEndian(&start[0], 4));
    const bool point = type == 1 || type == 11 || type == 21;
    if (!point && start.size() < 36) continue;
    double box[4] = {DoubleAt(&start[4]), DoubleAt(&start[12]), 0, 0};
    if (point) {
      box[2] = box[0];
      box[3] = box[1];
    } else {
      box[2] = DoubleAt(&start[20]);
      box[3] = DoubleAt(&start[28]);
    }
    for (int i = 0; i < 4; ++i)
      bounds[i] = !anyShape ? box[i]
                  : i < 2   ? std::min(bounds[i], box[i])
                            : std::max(bounds[i], box[i]);
    anyShape = true;
  }

  PutBigEndian(&shpHeader[24], shpEnd / 2);
  PutBigEndian(&shxHeader[24], (kHeader + kept * kIndexEntry) / 2);
  for (int i = 0; i < 4; ++i) {
    PutDouble(&shpHeader[36 + 8 * i], bounds[i]);
    PutDouble(&shxHeader[36 + 8 * i], bounds[i]);
  }
  WriteBytes(shpFile, 0, shpHeader.data(), kHeader, shp);
  WriteBytes(shxFile, 0, shxHeader.data(), kHeader, shx);
  shpFile.close();
  shxFile.close();
  Truncate(shp, shpEnd);
  Truncate(shx, kHeader + kept * kIndexEntry);

  CutDbfToRecords(dbf, kept);
}

void CutDbfToRecords(const fs::path& dbf, std::uint64_t records) {
  const DbfHeader table = ReadDbfHeader(dbf);
  std::fstream dbfFile = OpenForUpdate(dbf);
  unsigned char count[4];
  PutLittleEndian(count, records, 4);
  WriteBytes(dbfFile, 4, count, sizeof count, dbf);
  dbfFile.close();
  Truncate(dbf, table.headerBytes + records * table.recordBytes);
  EndDbfWithMark(dbf);
}

}  // namespace rivanet::gis
