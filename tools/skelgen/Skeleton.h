#pragma once

#include <filesystem>

#include "workspace/Schema.h"

namespace rivanet::skelgen {

// The empty workspace the application appends into, and its scratch database.
inline constexpr const char* kSkeletonFolderName = "Skel";
inline constexpr const char* kScratchDatabaseName = "VatWorkSkel.mdb";

// Writes <appDir>/Skel: every feature class of the schema as an empty shapefile in its
// sub-folder and every table as an empty dBASE file at the top. The skeleton is built
// under a temporary name and renamed into place, so a failure leaves any previous
// skeleton as it was and no half-written one behind.
void WriteSkeleton(const schema::Schema& schema, const std::filesystem::path& appDir);

// Writes <appDir>/VatWorkSkel.mdb, an SQLite database (the name is kept for the
// application) with the empty tables tblImport(myValue, Comid, Prod_unit) and
// tblVat(myValue), each indexed on myValue. Built under a temporary name and renamed
// into place, like the skeleton.
void WriteScratchDatabase(const std::filesystem::path& appDir);

}  // namespace rivanet::skelgen
