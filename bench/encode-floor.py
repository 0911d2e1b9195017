#!/usr/bin/python3
"""The encoding floor: how long writing the four finished output grids takes once their cells
are in memory, with the creation options the program uses (tiled 256 x 256, DEFLATE,
PREDICTOR=2, BIGTIFF=IF_SAFER, NUM_THREADS=ALL_CPUS) at the given DEFLATE levels.

    bench/encode-floor.py OUTPUT_FOLDER SCRATCH_FOLDER LEVEL...

Each grid of OUTPUT_FOLDER (drainage/cat, elev_unit/elev_cm, fac_fdr_unit/fac, fac_fdr_unit/fdr,
folders matched without regard to letter case) is read whole into a numpy array before its
timer starts; the timer covers creating the file in SCRATCH_FOLDER, writing the array and
closing the file. Prints "floor LEVEL GRID SECONDS" per grid, "floor LEVEL total SECONDS" and
"floor LEVEL cpu SECONDS" (the CPU time of the process's threads while writing).
"""
import os
import sys
import time

from osgeo import gdal

from peer import ci_path  # the peer's lookup without regard to letter case

gdal.UseExceptions()

GRIDS = ("drainage/cat/cat.tif", "elev_unit/elev_cm/elev_cm.tif", "fac_fdr_unit/fac/fac.tif",
         "fac_fdr_unit/fdr/fdr.tif")


def encode(cells, meta, target, level):
    """Writes `cells` to the GeoTIFF `target` as the program writes its grids, at DEFLATE
    `level`; meta = (cols, rows, GDAL type, geotransform, WKT, nodata or None). Returns the
    wall and CPU seconds from creating the file to closing it."""
    cols, rows, gdt, gt, wkt, nodata = meta
    start, start_cpu = time.perf_counter(), time.process_time()
    ds = gdal.GetDriverByName("GTiff").Create(
        target, cols, rows, 1, gdt,
        ["TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=DEFLATE", "PREDICTOR=2",
         "ZLEVEL=%d" % level, "BIGTIFF=IF_SAFER", "NUM_THREADS=ALL_CPUS"])
    ds.SetGeoTransform(gt)
    ds.SetProjection(wkt)
    out = ds.GetRasterBand(1)
    if nodata is not None:
        out.SetNoDataValue(nodata)
    out.WriteArray(cells)
    out = None
    ds = None
    return time.perf_counter() - start, time.process_time() - start_cpu


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__.split("\n\n")[1].strip())
    output, scratch, levels = sys.argv[1], sys.argv[2], [int(a) for a in sys.argv[3:]]
    os.makedirs(scratch, exist_ok=True)
    totals = {level: 0.0 for level in levels}
    cpu_totals = {level: 0.0 for level in levels}  # CPU time of all threads (GDAL's workers too)
    for rel in GRIDS:
        path = ci_path(output, rel) or sys.exit("encode-floor.py: %s has no %s" % (output, rel))
        src = gdal.Open(path)
        band = src.GetRasterBand(1)
        cells = band.ReadAsArray()
        meta = (src.RasterXSize, src.RasterYSize, band.DataType, src.GetGeoTransform(),
                src.GetProjection(), band.GetNoDataValue())
        band = None
        src = None
        for level in levels:
            target = os.path.join(scratch, "floor-%d-%s" % (level, os.path.basename(rel)))
            took, cpu = encode(cells, meta, target, level)
            totals[level] += took
            cpu_totals[level] += cpu
            print("floor %d %s %.3f" % (level, os.path.basename(rel).split(".")[0], took), flush=True)
            os.remove(target)
        cells = None
    for level in levels:
        print("floor %d total %.3f" % (level, totals[level]), flush=True)
        print("floor %d cpu %.3f" % (level, cpu_totals[level]), flush=True)


if __name__ == "__main__":
    main()
