#!/usr/bin/python3
"""DEFLATE levels 1 to 6 side by side: the time and size of writing the same grids, with the
program's creation options, at each level; and the fastest level whose files stay within 15%
of level 6's size on every set.

    bench/levels.py SCRATCH_FOLDER OUTPUT_FOLDER TEST_DATA_FOLDER [REPEATS]

Three sets: the four grids of OUTPUT_FOLDER (a run's output, as bench/encode-floor.py reads
it); the real grids of TEST_DATA_FOLDER (tests/data: ArcInfo grids and ArcGIS-made GeoTIFFs)
in their own cell types; and the same real grids widened to Int32 (NoData -2147483647), as the
program's 32-bit output grids would hold them. Every set is written REPEATS times (default 3)
at every level; the time is the median of the repeats' totals. Prints a Markdown table and a
line "choice: level N", the fastest level whose files stay within 15% of level 6's on the run
output and on the real grids as they are (the widened set is shown beside them).
"""
import glob
import importlib
import os
import statistics
import sys

import numpy
from osgeo import gdal

from peer import ci_path

floor = importlib.import_module("encode-floor")  # the same write as the encoding floor
GRIDS, encode = floor.GRIDS, floor.encode

gdal.UseExceptions()
gdal.SetConfigOption("GDAL_PAM_ENABLED", "NO")  # the test data is read, never written beside

LEVELS = range(1, 7)
NODATA = -2147483647
WITHIN = 1.15  # a level's files may be this much larger than level 6's


def read(path, as_int32):
    src = gdal.OpenEx(path, gdal.OF_RASTER | gdal.OF_READONLY)
    band = src.GetRasterBand(1)
    cells = band.ReadAsArray()
    nodata = band.GetNoDataValue()
    gdt = band.DataType
    if as_int32:
        missing = band.GetMaskBand().ReadAsArray() == 0
        cells = cells.astype(numpy.int32)
        cells[missing] = NODATA
        gdt, nodata = gdal.GDT_Int32, NODATA
    meta = (src.RasterXSize, src.RasterYSize, gdt, src.GetGeoTransform(), src.GetProjection(),
            nodata)
    return cells, meta


def real_grids(test_data):
    """The grids of the test data: ArcInfo grid folders (those holding hdr.adf) and GeoTIFFs."""
    found = sorted(os.path.dirname(p) for p in glob.glob(os.path.join(test_data, "**", "hdr.adf"),
                                                         recursive=True))
    found += sorted(glob.glob(os.path.join(test_data, "**", "*.tif"), recursive=True))
    return found


def measure(grids, scratch, repeats):
    """{level: (median seconds, bytes)} for writing every grid of `grids` (cells, meta)."""
    result = {}
    for level in LEVELS:
        totals, size = [], 0
        for _ in range(repeats):
            took, size = 0.0, 0
            for i, (cells, meta) in enumerate(grids):
                target = os.path.join(scratch, "level-%d-%d.tif" % (level, i))
                took += encode(cells, meta, target, level)[0]
                size += os.path.getsize(target)
                os.remove(target)
            totals.append(took)
        result[level] = (statistics.median(totals), size)
    return result


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__.split("\n\n")[1].strip())
    scratch, output, test_data = sys.argv[1:4]
    repeats = int(sys.argv[4]) if len(sys.argv) == 5 else 3
    os.makedirs(scratch, exist_ok=True)

    standard = []
    for rel in GRIDS:
        path = ci_path(output, rel) or sys.exit("levels.py: %s has no %s" % (output, rel))
        standard.append(read(path, as_int32=False))
    real_paths = real_grids(test_data)
    if not real_paths:
        sys.exit("levels.py: %s holds no grid" % test_data)
    real = [read(p, as_int32=False) for p in real_paths]
    widened = [read(p, as_int32=True) for p in real_paths]

    sets = [("run output", measure(standard, scratch, repeats)),
            ("real grids", measure(real, scratch, repeats)),
            ("real grids as Int32", measure(widened, scratch, repeats))]
    print("| level | " + " | ".join("%s: s | MiB | size / level 6" % name for name, _ in sets) + " |")
    print("|---:|" + "---:|---:|---:|" * len(sets))
    for level in LEVELS:
        row = []
        for _, m in sets:
            took, size = m[level]
            row += ["%.3f" % took, "%.1f" % (size / 1048576), "%.3f" % (size / m[6][1])]
        print("| %d | %s |" % (level, " | ".join(row)))
    chosen_by = sets[:2]
    fit = [level for level in LEVELS if all(m[level][1] <= WITHIN * m[6][1] for _, m in chosen_by)]
    best = min(fit, key=lambda level: sum(m[level][0] for _, m in chosen_by))
    print()
    print("grids: %s; %d real grids: %s" % (output, len(real_paths),
                                            ", ".join(os.path.relpath(p, test_data)
                                                      for p in real_paths)))
    print("choice: level %d (the fastest whose files stay within %d%% of level 6's on the run "
          "output and the real grids as they are)" % (best, round((WITHIN - 1) * 100)))


if __name__ == "__main__":
    main()
