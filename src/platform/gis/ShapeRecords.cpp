#include "platform/gis/ShapeRecords.h"

namespace rivanet::gis {

bool Holds(OGRwkbGeometryType layerType, OGRwkbGeometryType shape) {
  switch (wkbFlatten(layerType)) {
    case wkbPoint:
      return shape == wkbPoint;
    case wkbMultiPoint:
      return shape == wkbPoint || shape == wkbMultiPoint;
    case wkbLineString:
    case wkbMultiLineString:
      return shape == wkbLineString || shape == wkbMultiLineString;
    case wkbPolygon:
    case wkbMultiPolygon:
      return shape == wkbPolygon || shape == wkbMultiPolygon;
    default:
      return true;
  }
}

namespace {

struct ShapeCount {
  std::uint64_t parts = 0;
  std::uint64_t points = 0;
};

void CountShape(const OGRGeometry& g, ShapeCount& n) {
  switch (wkbFlatten(g.getGeometryType())) {
    case wkbPoint:
      n.points += 1;
      return;
    case wkbLineString:
      n.parts += 1;
      n.points += g.toLineString()->getNumPoints();
      return;
    case wkbPolygon:
      for (const OGRLinearRing* ring : *g.toPolygon()) {
        n.parts += 1;
        n.points += ring->getNumPoints();
      }
      return;
    default:
      if (OGR_GT_IsSubClassOf(g.getGeometryType(), wkbGeometryCollection))
        for (const OGRGeometry* part : *g.toGeometryCollection()) CountShape(*part, n);
      return;
  }
}

}  // namespace

std::uint64_t ShapeRecordBytes(const OGRGeometry* g, OGRwkbGeometryType layerType) {
  constexpr std::uint64_t kRecordHeader = 8;
  if (g == nullptr) return kRecordHeader + 4;
  ShapeCount n;
  CountShape(*g, n);
  const bool z = wkbHasZ(layerType) || wkbHasM(layerType);
  switch (wkbFlatten(layerType)) {
    case wkbPoint:
      return kRecordHeader + 20 + (z ? 16 : 0);
    case wkbMultiPoint:
      return kRecordHeader + 40 + 16 * n.points + (z ? 32 + 16 * n.points : 0);
    default:
      return kRecordHeader + 44 + 4 * n.parts + 16 * n.points + (z ? 32 + 16 * n.points : 0);
  }
}

}  // namespace rivanet::gis
