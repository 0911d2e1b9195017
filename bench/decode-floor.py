#!/usr/bin/python3
"""The decoding floor: how long reading the cells of every input grid of a set once takes with
GDAL, in one thread, with nothing done to the cells.

    bench/decode-floor.py DATA_FOLDER LIST_FILE

For each workspace named in LIST_FILE, the four grids (drainage/cat, elev_unit/elev_cm,
fac_fdr_unit/fac, fac_fdr_unit/fdr, matched without regard to letter case; a GeoTIFF
<grid>/<grid>.tif or, failing that, the grid folder itself) are read block by block (GDAL's
ReadBlock: decoded, not copied into a cache or an array). Prints "decode WALL_SECONDS
CPU_SECONDS" for all of them together.

A mosaic must at least decode its inputs and encode its output. Together with the encoding
floor's CPU time this gives the least time the grid phase can take on a machine's cores.
"""
import os
import sys
import time

from osgeo import gdal

from peer import ci_path  # the peer's lookup without regard to letter case

gdal.UseExceptions()

GRIDS = ("drainage/cat", "elev_unit/elev_cm", "fac_fdr_unit/fac", "fac_fdr_unit/fdr")


def grid_file(folder):
    # A GeoTIFF <grid>/<grid>.tif or, failing that, an ArcInfo grid: GDAL opens the folder.
    return ci_path(folder, os.path.basename(folder) + ".tif") or folder


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1].strip())
    data, list_file = sys.argv[1], sys.argv[2]
    with open(list_file, encoding="utf-8", errors="replace") as f:
        workspaces = [line.strip() for line in f if line.strip()]
    files = []
    for ws in workspaces:
        for rel in GRIDS:
            folder = ci_path(data, ws + "/" + rel) or sys.exit("decode-floor.py: %s has no %s/%s"
                                                               % (data, ws, rel))
            files.append(grid_file(folder))
    wall, cpu = time.perf_counter(), time.process_time()
    for path in files:
        ds = gdal.Open(path)
        band = ds.GetRasterBand(1)
        bx, by = band.GetBlockSize()
        for y in range((ds.RasterYSize + by - 1) // by):
            for x in range((ds.RasterXSize + bx - 1) // bx):
                band.ReadBlock(x, y)
        band = None
        ds = None
    print("decode %.3f %.3f" % (time.perf_counter() - wall, time.process_time() - cpu))


if __name__ == "__main__":
    main()
