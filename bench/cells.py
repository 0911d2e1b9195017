#!/usr/bin/python3
"""Compares two outputs' grids cell for cell, or their catchment value attribute tables row for
row, for bench/counts.sh.

    bench/cells.py grid A.tif B.tif   size, georeferencing, NoData and every cell
    bench/cells.py vat A.dbf B.dbf    the rows (Value, Count, Comid, Prod_unit), in Value order

Prints "same" or what differs first, and exits 0 when the two agree, 1 when they do not.
"""
import sys

import numpy as np
from osgeo import gdal, ogr

gdal.UseExceptions()
ogr.UseExceptions()


def grid(a_path, b_path):
    a, b = gdal.Open(a_path), gdal.Open(b_path)
    ab, bb = a.GetRasterBand(1), b.GetRasterBand(1)
    for what, x, y in (("size", (a.RasterXSize, a.RasterYSize), (b.RasterXSize, b.RasterYSize)),
                       ("georeferencing", a.GetGeoTransform(), b.GetGeoTransform()),
                       ("cell type", ab.DataType, bb.DataType),
                       ("NoData", ab.GetNoDataValue(), bb.GetNoDataValue())):
        if x != y:
            return "%s differs: %s vs %s" % (what, x, y)
    differ, first = 0, None
    for top in range(0, a.RasterYSize, 512):
        h = min(512, a.RasterYSize - top)
        x, y = ab.ReadAsArray(0, top, a.RasterXSize, h), bb.ReadAsArray(0, top, a.RasterXSize, h)
        bad = np.nonzero(x != y)
        differ += len(bad[0])
        if first is None and len(bad[0]):
            r, c = bad[0][0], bad[1][0]
            first = "row %d column %d: %s vs %s" % (top + r, c, x[r, c], y[r, c])
    return "same" if differ == 0 else "%d cells differ, first at %s" % (differ, first)


def rows(path):
    ds = ogr.Open(path)
    layer = ds.GetLayer(0)
    out = []
    for f in layer:
        out.append(tuple(f.GetField(n) if f.IsFieldSetAndNotNull(n) else None
                         for n in ("Value", "Count", "Comid", "Prod_unit")))
    return sorted(out, key=lambda r: r[0])


def vat(a_path, b_path):
    a, b = rows(a_path), rows(b_path)
    if len(a) != len(b):
        return "%d rows vs %d rows" % (len(a), len(b))
    for x, y in zip(a, b):
        if x != y:
            return "%d rows differ, first %s vs %s" % (sum(p != q for p, q in zip(a, b)), x, y)
    return "same"


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("grid", "vat"):
        sys.exit(__doc__.split("\n\n")[1].strip())
    verdict = (grid if sys.argv[1] == "grid" else vat)(sys.argv[2], sys.argv[3])
    print(verdict)
    sys.exit(0 if verdict == "same" else 1)
