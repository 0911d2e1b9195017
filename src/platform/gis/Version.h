#pragma once

#include "platform/LibraryVersion.h"

namespace rivanet::gis {

// The GDAL library this program reads and writes its GIS data with.
LibraryVersion GdalVersion();

}  // namespace rivanet::gis
