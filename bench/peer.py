#!/usr/bin/python3
"""The append a skilled GIS programmer would script in one process with GDAL's Python bindings
and numpy instead of running RivanetAppend: the yardstick bench/run measures the program against.

    bench/peer.py INPUT_FOLDER LIST_FILE OUTPUT_FOLDER SKELETON_FOLDER SCHEMA_FILE [--zlevel N]

OUTPUT_FOLDER is replaced by a copy of the skeleton, then every stage appends into it. Each
stage is timed with time.perf_counter and reported on standard output as one line
"stage NAME SECONDS"; the last line is "stage total SECONDS".

Stages:
  prepare   copy of the skeleton (shutil.copytree)
  features  the feature classes in the schema's append order, built in /vsimem/ and copied out:
            plain classes with gdal.VectorTranslate (append, fields matched by name ignoring
            case); RVXArea, RVXLine, RVXPoint, RVXWaterbody feature by feature, keeping the
            first feature of each Comid (a Python set), empty Comid passed over
  tables    the tables in /vsimem/ dBASE files: each workspace's SELECT DISTINCT rows (OGR's
            SQLite dialect) appended; RVXMetadata leaves out DUUID = 0; consecutive "work"
            steps are collected from all workspaces first, then appended SELECT DISTINCT over all
  grids     numpy mosaic of each grid a strip of tiles at a time (later workspace wins where it
            has data; cat and fdr keep only cells > 0), written as tiled DEFLATE GeoTIFF with
            PREDICTOR=2, ZLEVEL=N (default 6), NUM_THREADS=ALL_CPUS; the cat cells are counted
            per value on the way
  vat       cat.tif.vat.dbf: Value and Count from the cells, Comid and Prod_unit from the first
            workspace whose own VAT lists the value
"""
import argparse
import os
import shutil
import sys
import time

import numpy as np
from osgeo import gdal, ogr

gdal.UseExceptions()
ogr.UseExceptions()

STRIP_TILES = 2  # rows of 256-cell tiles mosaicked and written at a time
TILE = 256
NODATA_INT32 = -2147483647
NODATA_UINT8 = 255
COMID_CLASSES = {"rvxarea", "rvxline", "rvxpoint", "rvxwaterbody"}


# ---------------------------------------------------------------- schema and paths

class Schema:
    def __init__(self, path):
        self.grids = []  # (folder/name, type, positive)
        self.classes = {}  # lower name -> path "folder/name"
        self.tables = set()  # lower names
        self.vat = []  # (name, kind, width, precision)
        self.steps = []  # (name, via_work)
        block = None
        with open(path) as f:
            for line in f:
                words = line.split("#", 1)[0].split()
                if not words:
                    continue
                if words[0] == "grid":
                    self.grids.append((words[1], words[2], "positive" in words[3:]))
                elif words[0] == "featureclass":
                    self.classes[words[1].split("/")[-1].lower()] = words[1]
                    block = None
                elif words[0] == "table":
                    self.tables.add(words[1].lower())
                    block = None
                elif words[0] == "vat":
                    block = self.vat
                elif words[0] == "field" and block is not None:
                    block.append(words[1:])
                elif words[0] == "end":
                    block = None
                elif words[0] == "append":
                    self.steps.append((words[1], len(words) > 2 and words[2] == "work"))


def ci_path(base, rel, make=False):
    """Path of rel under base, each part matched without regard to letter case. With make,
    a missing part is taken as spelt (folders are made); otherwise None when absent."""
    cur = base
    parts = rel.split("/")
    for i, part in enumerate(parts):
        hit = None
        try:
            for entry in os.listdir(cur):
                if entry.lower() == part.lower():
                    hit = entry
                    break
        except FileNotFoundError:
            pass
        if hit is None:
            if not make:
                return None
            hit = part
            if i < len(parts) - 1:
                os.makedirs(os.path.join(cur, hit), exist_ok=True)
        cur = os.path.join(cur, hit)
    return cur


def workspaces(list_file):
    names = []
    with open(list_file, newline="") as f:
        for line in f:
            name = line.replace("\r", "").replace("\n", "").strip(" \t")
            if not name:
                break
            names.append(name)
    return names


def to_vsimem(path, mem_dir):
    """Copies a shapefile or dBASE table (all its side files) into mem_dir; returns its path there."""
    stem = os.path.splitext(os.path.basename(path))[0]
    folder = os.path.dirname(path)
    for entry in os.listdir(folder):
        if os.path.splitext(entry)[0] == stem:
            with open(os.path.join(folder, entry), "rb") as f:
                gdal.FileFromMemBuffer(mem_dir + "/" + entry, f.read())
    return mem_dir + "/" + os.path.basename(path)


def from_vsimem(mem_path, path):
    """Writes the in-memory file set of mem_path (same stem) over the files beside path."""
    mem_dir = os.path.dirname(mem_path)
    stem = os.path.splitext(os.path.basename(mem_path))[0]
    for entry in gdal.ReadDir(mem_dir) or []:
        if os.path.splitext(entry)[0] != stem:
            continue
        src = mem_dir + "/" + entry
        size = gdal.VSIStatL(src).size
        f = gdal.VSIFOpenL(src, "rb")
        data = gdal.VSIFReadL(1, size, f)
        gdal.VSIFCloseL(f)
        with open(os.path.join(os.path.dirname(path), entry), "wb") as out:
            out.write(data)
        gdal.Unlink(src)


# ---------------------------------------------------------------- features

def copy_by_comid(out_layer, seen, source):
    """Appends the features of source whose Comid is not in seen yet, adding it there."""
    src = ogr.Open(source)
    layer = src.GetLayer(0)
    in_defn = layer.GetLayerDefn()
    out_defn = out_layer.GetLayerDefn()
    field_map = [out_defn.GetFieldIndex(in_defn.GetFieldDefn(i).GetName())
                 for i in range(in_defn.GetFieldCount())]
    comid = in_defn.GetFieldIndex("Comid")
    for feature in layer:
        if not feature.IsFieldSetAndNotNull(comid):
            continue
        value = feature.GetFieldAsInteger64(comid)
        if value in seen:
            continue
        seen.add(value)
        out = ogr.Feature(out_defn)
        out.SetFromWithMap(feature, 1, field_map)
        out_layer.CreateFeature(out)


def features(args, schema, names):
    for name, _ in schema.steps:
        rel = schema.classes.get(name.lower())
        if rel is None:
            continue
        target = ci_path(args.output, rel + ".shp", make=True)
        mem = to_vsimem(target, "/vsimem/features")
        ds = gdal.OpenEx(mem, gdal.OF_VECTOR | gdal.OF_UPDATE)
        layer = ds.GetLayer(0)
        layer_name = layer.GetName()
        if name.lower() in COMID_CLASSES:
            seen = set()
            for ws in names:
                source = ci_path(os.path.join(args.input, ws), rel + ".shp")
                if source is not None:
                    copy_by_comid(layer, seen, source)
        else:
            for ws in names:
                source = ci_path(os.path.join(args.input, ws), rel + ".shp")
                if source is None:
                    continue
                gdal.VectorTranslate(ds, source, accessMode="append", layerName=layer_name)
        layer = None
        ds = None
        from_vsimem(mem, target)


# ---------------------------------------------------------------- tables

class MemTables:
    """Tables held as in-memory dBASE files until written out once at the end."""

    def __init__(self, mem_dir):
        self.mem_dir = mem_dir
        self.open = {}  # key -> (dataset, mem path, file path)
        self.made = 0  # each table gets a folder of its own, never reused

    def get(self, key, path):
        if key not in self.open:
            self.made += 1
            mem = to_vsimem(path, self.mem_dir + "/" + str(self.made))
            self.open[key] = (gdal.OpenEx(mem, gdal.OF_VECTOR | gdal.OF_UPDATE), mem, path)
        return self.open[key][0]

    def close(self, key):
        """Closes the table and writes it over its file."""
        ds, mem, path = self.open.pop(key)
        ds = None
        from_vsimem(mem, path)

    def close_in_memory(self, key):
        """Closes the table, leaving it in memory; returns its /vsimem/ path."""
        ds, mem, _ = self.open.pop(key)
        ds = None
        return mem

    @staticmethod
    def discard(mem):
        for entry in gdal.ReadDir(os.path.dirname(mem)) or []:
            gdal.Unlink(os.path.dirname(mem) + "/" + entry)


def append_distinct(dest, source, table):
    """Appends the distinct rows of the dBASE table source (a path or /vsimem/ path) to dest."""
    layer = os.path.splitext(os.path.basename(source))[0]
    sql = 'SELECT DISTINCT * FROM "%s"' % layer
    if table.lower() == "rvxmetadata":
        sql += " WHERE DUUID IS NULL OR DUUID <> 0"
    gdal.VectorTranslate(dest, source, accessMode="append", SQLStatement=sql, SQLDialect="SQLITE",
                         layerName=dest.GetLayer(0).GetName())


def tables(args, schema, names, skel):
    mem = MemTables("/vsimem/tables")
    steps = [(n, w) for n, w in schema.steps if n.lower() in schema.tables]
    i = 0
    while i < len(steps):
        name, via_work = steps[i]
        if not via_work:
            dest = mem.get(name.lower(), ci_path(args.output, name + ".dbf", make=True))
            for ws in names:
                source = ci_path(os.path.join(args.input, ws), name + ".dbf")
                if source is not None:
                    append_distinct(dest, source, name)
            i += 1
            continue
        end = i
        while end < len(steps) and steps[end][1]:
            end += 1
        group = [n for n, _ in steps[i:end]]
        for name in group:  # collected from every workspace ...
            work = mem.get("work/" + name.lower(), ci_path(skel, name + ".dbf"))
            for ws in names:
                source = ci_path(os.path.join(args.input, ws), name + ".dbf")
                if source is not None:
                    append_distinct(work, source, name)
            work = None
        for name in group:  # ... then appended distinct over all of them
            dest = mem.get(name.lower(), ci_path(args.output, name + ".dbf", make=True))
            collected = mem.close_in_memory("work/" + name.lower())
            append_distinct(dest, collected, name)
            mem.discard(collected)
            dest = None
        i = end
    # A dataset is written out only once nothing refers to it any more.
    dest = None
    for key in list(mem.open):
        mem.close(key)


# ---------------------------------------------------------------- grids

def grids(args, schema, names, counts):
    for rel, kind, positive in schema.grids:
        grid = rel.split("/")[-1]
        sources = []
        for ws in names:
            path = ci_path(os.path.join(args.input, ws), rel + "/" + grid + ".tif")
            if path is None:
                sys.exit("peer.py: %s has no %s" % (ws, rel))
            sources.append(path)
        first = gdal.Open(sources[0])
        gt = first.GetGeoTransform()
        cell = gt[1]
        # Each input's place on the first input's cells (the set is aligned; say so if not).
        places = []
        for path in sources:
            ds = gdal.Open(path)
            g = ds.GetGeoTransform()
            x = (g[0] - gt[0]) / cell
            y = (gt[3] - g[3]) / cell
            if g[1] != cell or abs(x - round(x)) > 1e-6 or abs(y - round(y)) > 1e-6:
                sys.exit("peer.py: %s is not on the first input's cells" % path)
            band = ds.GetRasterBand(1)
            places.append((path, int(round(x)), int(round(y)), ds.RasterXSize, ds.RasterYSize,
                           band.GetNoDataValue()))
            ds = None
        x0 = min(p[1] for p in places)
        y0 = min(p[2] for p in places)
        cols = max(p[1] + p[3] for p in places) - x0
        rows = max(p[2] + p[4] for p in places) - y0
        dtype, gdt, nodata = ((np.uint8, gdal.GDT_Byte, NODATA_UINT8) if kind == "UInt8"
                              else (np.int32, gdal.GDT_Int32, NODATA_INT32))
        out_path = ci_path(args.output, rel + "/" + grid + ".tif", make=True)
        os.makedirs(os.path.dirname(out_path), exist_ok=True)
        out = gdal.GetDriverByName("GTiff").Create(
            out_path, cols, rows, 1, gdt,
            ["TILED=YES", "BLOCKXSIZE=%d" % TILE, "BLOCKYSIZE=%d" % TILE, "COMPRESS=DEFLATE",
             "PREDICTOR=2", "ZLEVEL=%d" % args.zlevel, "BIGTIFF=IF_SAFER", "NUM_THREADS=ALL_CPUS"])
        out.SetGeoTransform((gt[0] + x0 * cell, cell, 0, gt[3] - y0 * cell, 0, -cell))
        out.SetProjection(first.GetProjection())
        first = None
        out_band = out.GetRasterBand(1)
        out_band.SetNoDataValue(nodata)
        opened = [gdal.Open(p[0]) for p in places]
        strip_rows = STRIP_TILES * TILE
        strip = np.empty((strip_rows, cols), dtype=dtype)
        for top in range(0, rows, strip_rows):
            h = min(strip_rows, rows - top)
            s = strip[:h]
            s.fill(nodata)
            for ds, (_, px, py, w, hh, in_nodata) in zip(opened, places):
                r0 = max(top, py - y0)
                r1 = min(top + h, py - y0 + hh)
                if r0 >= r1:
                    continue
                cells = ds.GetRasterBand(1).ReadAsArray(0, r0 - (py - y0), w, r1 - r0)
                view = s[r0 - top:r1 - top, px - x0:px - x0 + w]
                if in_nodata is None:
                    view[...] = cells
                else:
                    np.copyto(view, cells.astype(dtype, copy=False), where=cells != in_nodata)
            if positive:
                if dtype == np.uint8:
                    s[s == 0] = nodata
                else:
                    s[s <= 0] = nodata
            if grid.lower() == "cat" and counts is not None:
                values = s[s != nodata]
                u, c = np.unique(values, return_counts=True)
                counts.append((u, c))
            out_band.WriteArray(s, 0, top)
            out.FlushCache()
        opened = None
        out_band = None
        out = None


def vat(args, schema, names, counts):
    values = np.concatenate([u for u, _ in counts]) if counts else np.empty(0, np.int32)
    tallies = np.concatenate([c for _, c in counts]) if counts else np.empty(0, np.int64)
    value, where = np.unique(values, return_inverse=True)
    count = np.bincount(where, weights=tallies, minlength=len(value)).astype(np.int64)

    listed = {}  # value -> (Comid, Prod_unit), the first workspace's
    for ws in names:
        path = ci_path(os.path.join(args.input, ws), "drainage/cat/cat.tif.vat.dbf")
        if path is None:
            continue
        ds = ogr.Open(path)
        layer = ds.GetLayer(0)
        d = layer.GetLayerDefn()
        iv, ic, ip = (d.GetFieldIndex("Value"), d.GetFieldIndex("Comid"), d.GetFieldIndex("Prod_unit"))
        for f in layer:
            v = f.GetFieldAsInteger64(iv)
            if v not in listed:
                listed[v] = (f.GetFieldAsInteger64(ic) if f.IsFieldSetAndNotNull(ic) else None,
                             f.GetFieldAsString(ip) if f.IsFieldSetAndNotNull(ip) else None)
        ds = None

    grid_path = ci_path(args.output, "drainage/cat/cat.tif", make=True)
    target = os.path.join(os.path.dirname(grid_path), "cat.tif.vat.dbf")
    mem = "/vsimem/vat/cat.tif.vat.dbf"
    ds = ogr.GetDriverByName("ESRI Shapefile").CreateDataSource(mem)
    layer = ds.CreateLayer("cat.tif.vat", geom_type=ogr.wkbNone, options=["ENCODING=UTF-8"])
    for name, kind, *size in schema.vat:
        fd = ogr.FieldDefn(name, ogr.OFTString if kind == "String" else ogr.OFTInteger)
        fd.SetWidth(int(size[0]))
        layer.CreateField(fd)
    defn = layer.GetLayerDefn()
    iv, ic, ic2, ip = (defn.GetFieldIndex(n) for n in ("Value", "Count", "Comid", "Prod_unit"))
    for v, n in zip(value.tolist(), count.tolist()):
        f = ogr.Feature(defn)
        f.SetField(iv, v)
        f.SetField(ic, n)
        attrs = listed.get(v)
        if attrs is not None:
            if attrs[0] is not None:
                f.SetField(ic2, attrs[0])
            if attrs[1] is not None:
                f.SetField(ip, attrs[1])
        layer.CreateFeature(f)
    layer = None
    ds = None
    from_vsimem(mem, target)


# ---------------------------------------------------------------- main

def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("input", "list", "output", "skeleton", "schema"):
        p.add_argument(name)
    p.add_argument("--zlevel", type=int, default=6, help="DEFLATE level of the grids (default 6)")
    args = p.parse_args()
    args.input = os.path.realpath(args.input)
    args.output = os.path.realpath(args.output)

    total = time.perf_counter()

    def stage(name, fn, *a):
        t = time.perf_counter()
        fn(*a)
        print("stage %s %.3f" % (name, time.perf_counter() - t), flush=True)

    schema = Schema(args.schema)
    names = workspaces(args.list)

    def prepare():
        shutil.rmtree(args.output, ignore_errors=True)
        shutil.copytree(args.skeleton, args.output)

    counts = []
    stage("prepare", prepare)
    stage("features", features, args, schema, names)
    stage("tables", tables, args, schema, names, args.skeleton)
    stage("grids", grids, args, schema, names, counts)
    stage("vat", vat, args, schema, names, counts)
    print("stage total %.3f" % (time.perf_counter() - total), flush=True)


if __name__ == "__main__":
    main()
