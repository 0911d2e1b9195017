#include "platform/gis/DbfInternals.h"

#include "platform/Text.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

bool Latin1ControlsAsWindows1252(std::string& text) {
  static constexpr char16_t kWindows1252[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::size_t at = text.find('\xC2');
  if (at == std::string::npos) return true;  // the usual case: nothing to look at
  std::string out(text, 0, at);
  for (; at < text.size(); ++at) {
    const auto next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0U;
    if (text[at] != '\xC2' || next < 0x80 || next > 0x9F) {
      out.push_back(text[at]);
      continue;
    }
    const char16_t c = kWindows1252[next - 0x80];
    if (c == 0) return false;
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    ++at;
  }
  text = std::move(out);
  return true;
}

bool IsLatin1(std::string_view encoding) {
  std::string bare;
  for (const char c : encoding)
    if (c != '-' && c != '_') bare.push_back(c);
  return SameIgnoringCase(bare, "ISO88591");
}

OpenTable OpenDbf(const fs::path& file, bool update) {
  OpenTable table;
  // GDAL rewrites the end-of-file mark after every record it appends, which takes a seek and
  // a read besides the write; without it the records go out in large writes. The appender
  // adds the mark once when it is done.
  table.dataset = update ? OpenDataset(file, GDAL_OF_VECTOR | GDAL_OF_UPDATE, {"ESRI Shapefile"},
                                       {"DBF_EOF_CHAR=NO"}, "Cannot open table")
                         : OpenDataset(file, GDAL_OF_VECTOR | GDAL_OF_READONLY, {"ESRI Shapefile"},
                                       {}, "Cannot open table");
  table.layer = table.dataset->GetLayerCount() == 1 ? table.dataset->GetLayer(0) : nullptr;
  if (table.layer == nullptr) throw FileError(kErrInvalidArgument, "Not a dBASE table", file);
  const OGRFeatureDefn& defn = *table.layer->GetLayerDefn();
  for (int i = 0; i < defn.GetFieldCount(); ++i) {
    table.fields.push_back(DbfFieldOf(*defn.GetFieldDefn(i)));
    table.types.push_back(defn.GetFieldDefn(i)->GetType());
  }
  if (const char* encoding = table.layer->GetMetadataItem("SOURCE_ENCODING", "SHAPEFILE"))
    table.encoding = encoding;
  return table;
}

}  // namespace rivanet::gis
