#pragma once

// Shapes as a .shp stores them: which kinds a feature class holds, and how many bytes a shape
// takes. Private to the GIS library.

#include <cstdint>

#include "platform/gis/GdalSupport.h"

namespace rivanet::gis {

// True when a feature class of layer type `layerType` can hold a shape of (flat) type `shape`.
bool Holds(OGRwkbGeometryType layerType, OGRwkbGeometryType shape);

// Bytes the shape takes in a .shp of layer type `layerType`, record header included; 12 for no
// shape. With Z the measures are counted too, so the figure never falls short of what GDAL
// writes.
std::uint64_t ShapeRecordBytes(const OGRGeometry* shape, OGRwkbGeometryType layerType);

}  // namespace rivanet::gis
