#include "platform/gis/FileHeaders.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

constexpr char kEndOfFile = 0x1A;

struct Header {
  std::uint64_t records = 0;
  std::uint64_t headerBytes = 0;
  std::uint64_t recordBytes = 0;
  std::uint64_t End() const { return headerBytes + records * recordBytes; }
};

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

Header ReadHeader(const fs::path& dbf) {
  std::ifstream in(dbf, std::ios::binary);
  std::array<unsigned char, 32> bytes{};
  if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size()))
    throw FileError(kErrInvalidArgument, "Attribute table is too short to be a dBASE file", dbf);
  return {LittleEndian(&bytes[4], 4), LittleEndian(&bytes[8], 2), LittleEndian(&bytes[10], 2)};
}

std::uint64_t SizeOf(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(file));
  return size;
}

}  // namespace

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
  const Header h = ReadHeader(dbf);
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
  const Header h = ReadHeader(dbf);
  if (SizeOf(dbf) != h.End()) return;  // the mark is there (or something else we leave alone)
  std::ofstream out(dbf, std::ios::binary | std::ios::app);
  if (!out.put(kEndOfFile) || !out.flush()) throw AppError::FromErrno(EIO, DisplayPath(dbf));
}

}  // namespace rivanet::gis
