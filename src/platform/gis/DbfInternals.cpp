#include "platform/gis/DbfInternals.h"

#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

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
