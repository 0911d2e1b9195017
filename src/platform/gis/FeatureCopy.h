#pragma once

#include <filesystem>
#include <string>

namespace rivanet::gis {

// Copies every feature of <folder>/<from>.shp (letter case ignored), shape and attributes, in
// file order, into a new shapefile <folder>/<to>.shp with the same fields, geometry type and
// coordinate system, text in UTF-8. Writing the file anew gives it a header that matches its
// shapes. Refuses (AppError) when <from> does not exist or a file of <to> is in the way; a
// copy that fails part-way is removed again, and <from> is never touched.
void CopyFeatureClass(const std::filesystem::path& folder, const std::string& from,
                      const std::string& to);

}  // namespace rivanet::gis
