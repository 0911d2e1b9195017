#pragma once

// The few facts of .shp and .dbf headers that the feature classes check by themselves, because
// GDAL takes them on trust. Private to the GIS library.

#include <cstdint>
#include <filesystem>

#include "platform/gis/ShapefileExtent.h"

namespace rivanet::gis {

// Checks that the .shp is as long as its header says: a truncated file is refused before a
// single feature of it is copied (GDAL would read the features up to the cut first).
void CheckShpHeader(const std::filesystem::path& shp);

// The extent (x and y bounds) the header of a .shp or .shx states; GDAL reads it from the .shx
// only.
Extent ReadHeaderExtent(const std::filesystem::path& file);

// Writes the x and y bounds into the header of a .shp or .shx.
void WriteHeaderExtent(const std::filesystem::path& file, const Extent& extent);

// What a dBASE header states: its record count (deleted records included) and the bytes of
// the header and of one record.
struct DbfHeader {
  std::uint64_t records = 0;
  std::uint64_t headerBytes = 0;
  std::uint64_t recordBytes = 0;
  std::uint64_t End() const { return headerBytes + records * recordBytes; }
  bool operator==(const DbfHeader&) const = default;
};
DbfHeader ReadDbfHeader(const std::filesystem::path& dbf);

// Checks that the records the header announces are all in the file (GDAL 3.6 reads past the end
// of a truncated table, or crashes when asked to scan it), and that there is one for every
// shape (GDAL reads on without a word when the counts differ), so that a damaged table is
// refused before a single feature of it is copied. Returns the bytes of one record.
std::uint64_t CheckDbfHeader(const std::filesystem::path& dbf, std::int64_t shapes);

// Puts the end-of-file mark (0x1A) after the last record when it is missing. GDAL writes it
// after every appended record when asked to, which costs a seek and a write per record;
// appending without it and adding it once at the end leaves the same file.
void EndDbfWithMark(const std::filesystem::path& dbf);

// Sets the record count in the header of a .dbf and cuts the file after that many records,
// with the end-of-file mark. Only shortens.
void CutDbfToRecords(const std::filesystem::path& dbf, std::uint64_t records);

// Cuts a shapefile whose writing stopped part way (a full disk, a file grown to its size limit)
// back to its last whole record: the .shp to the records the .shx indexes and the file holds
// whole, the .shx and the .dbf to as many, with their headers' lengths, record count and x/y
// bounds made to match, and the table's end-of-file mark. Buffered writes can fail after GDAL
// has counted their records, so the files are measured, not GDAL's counts. Only shortens.
void CutToWholeRecords(const std::filesystem::path& shp, const std::filesystem::path& shx,
                       const std::filesystem::path& dbf);

}  // namespace rivanet::gis
