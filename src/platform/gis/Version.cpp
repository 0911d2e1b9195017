#include "platform/gis/Version.h"

#include <gdal.h>

namespace rivanet::gis {

LibraryVersion GdalVersion() {
  return {LibraryFileOf(reinterpret_cast<const void*>(&GDALVersionInfo)),
          GDALVersionInfo("RELEASE_NAME")};
}

}  // namespace rivanet::gis
