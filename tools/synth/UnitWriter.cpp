#include "UnitWriter.h"

#include <gdal_alg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>

#include "FieldValues.h"
#include "SchemaWriter.h"
#include "SynthRandom.h"
#include "platform/gis/GdalSupport.h"
#include "platform/gis/GridVat.h"
#include "platform/gis/GridWriter.h"

namespace rivanet::synth {

namespace {

namespace fs = std::filesystem;
using gis::DatasetPtr;
using gis::GdalError;
using schema::FeatureClass;
using schema::Field;
using schema::Table;

constexpr std::int32_t kIntNoData = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kFdrNoData = 255;
constexpr int kRowsPerBlock = 256;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return s;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }
bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool HasField(const std::vector<Field>& fields, const char* name) {
  for (const Field& f : fields)
    if (Lower(f.name) == name) return true;
  return false;
}

double RingsLength(const OGRGeometry& g) {
  const OGRwkbGeometryType t = wkbFlatten(g.getGeometryType());
  if (t == wkbPolygon) {
    const auto& p = *g.toPolygon();
    double sum = p.getExteriorRing() ? p.getExteriorRing()->get_Length() : 0.0;
    for (int i = 0; i < p.getNumInteriorRings(); ++i) sum += p.getInteriorRing(i)->get_Length();
    return sum;
  }
  if (t == wkbMultiPolygon) {
    double sum = 0;
    for (const OGRPolygon* p : *g.toMultiPolygon()) sum += RingsLength(*p);
    return sum;
  }
  if (t == wkbLineString) return g.toLineString()->get_Length();
  return 0;
}

double Area(const OGRGeometry& g) {
  const OGRwkbGeometryType t = wkbFlatten(g.getGeometryType());
  if (t == wkbPolygon) return g.toPolygon()->get_Area();
  if (t == wkbMultiPolygon) return g.toMultiPolygon()->get_Area();
  return 0;
}

// Shape_Leng and Shape_Area are 19.11 fields: seven digits before the point, too few for
// square metres of a catchment. They are written in kilometres and square kilometres.
double ShapeLength(const OGRGeometry& g) { return RingsLength(g) / 1000.0; }
double ShapeArea(const OGRGeometry& g) { return Area(g) / 1e6; }

std::unique_ptr<OGRPolygon> RegularPolygon(double cx, double cy, double radius, int corners) {
  OGRLinearRing ring;
  for (int k = 0; k <= corners; ++k) {
    const double a = 2.0 * M_PI * (k % corners) / corners;
    ring.addPoint(cx + radius * std::cos(a), cy + radius * std::sin(a));
  }
  auto polygon = std::make_unique<OGRPolygon>();
  if (polygon->addRing(&ring) != OGRERR_NONE) throw std::runtime_error("cannot build a polygon");
  return polygon;
}

class Writer {
 public:
  Writer(const fs::path& folder, const Layout& layout, int unit, const UnitHydrology& hydro,
         const schema::Schema& schema, ComidRegistry& registry)
      : m_folder(folder),
        m_layout(layout),
        m_unit(unit),
        m_hydro(hydro),
        m_schema(schema),
        m_registry(registry),
        m_wkt(gis::WktOf(*gis::SpatialRefFromEpsg(schema.epsg, folder),
                         "EPSG:" + std::to_string(schema.epsg))) {}

  UnitSummary Run() {
    AssignIds();
    WriteGrids();
    for (const FeatureClass& fc : m_schema.featureClasses) WriteFeatureClass(fc);
    for (const Table& table : m_schema.tables) WriteTable(table);
    WriteNotes();
    UnitSummary s;
    s.name = m_folder.filename().string();
    s.reaches = static_cast<int>(m_hydro.reaches.size());
    for (const ReachIds& id : m_ids) s.sharedReaches += id.producer != m_unit ? 1 : 0;
    for (const Reach& r : m_hydro.reaches) s.catchmentCells += r.catchCells;
    return s;
  }

 private:
  struct ReachIds {
    std::int32_t comid = 0;
    int producer = 0;
    std::int32_t gridCode = 0;
    std::string reachCode;
    std::int32_t waterbodyComid = 0;
    std::uint64_t key = 0;
  };

  // ------------------------------------------------------------------ identities
  void AssignIds() {
    m_ids.resize(m_hydro.reaches.size());
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {  // downstream first
      const Reach& r = m_hydro.reaches[k];
      const std::int32_t downComid =
          r.down >= 0 ? m_ids[static_cast<std::size_t>(r.down)].comid : 0;
      const auto id = m_registry.AssignReach(
          r.outletGlobal / m_layout.GlobalCols(), r.outletGlobal % m_layout.GlobalCols(),
          Mix(r.shapeHash, static_cast<std::uint64_t>(downComid)), m_unit);
      ReachIds& ids = m_ids[k];
      ids.comid = id.comid;
      ids.producer = id.producer;
      ids.gridCode = ComidRegistry::GridCode(id.comid);
      ids.reachCode = MakeReachCode(Huc8(id.producer), id.comid);
      ids.key = Mix(m_layout.Seed(), static_cast<std::uint64_t>(id.comid));
      if (Chosen(ids, "waterbody", 25))
        ids.waterbodyComid = m_registry.FeatureComid(Mix(ids.key, HashText("waterbody")));
    }
  }

  static bool Chosen(const ReachIds& ids, const char* what, std::uint64_t oneIn) {
    return Mix(ids.key, HashText(what)) % oneIn == 0;
  }

  static std::string Huc8(int unit) {
    char text[16];
    std::snprintf(text, sizeof text, "1019%04d", (unit + 1) % 10000);
    return text;
  }

  double X(std::int64_t globalCol, double offset = 0.5) const {
    return kGlobalOriginX + (static_cast<double>(globalCol) + offset) * kCellSize;
  }
  double Y(std::int64_t globalRow, double offset = 0.5) const {
    return kGlobalOriginY - (static_cast<double>(globalRow) + offset) * kCellSize;
  }
  std::int64_t GRow(std::int32_t local) const { return m_hydro.rect.row0 + local / m_hydro.Cols(); }
  std::int64_t GCol(std::int32_t local) const { return m_hydro.rect.col0 + local % m_hydro.Cols(); }

  RowContext ReachContext(std::size_t k, const std::string& className) const {
    const Reach& r = m_hydro.reaches[k];
    const ReachIds& ids = m_ids[k];
    RowContext ctx;
    ctx.className = className;
    ctx.key = ids.key;
    ctx.reach = &r;
    ctx.down = r.down >= 0 ? &m_hydro.reaches[static_cast<std::size_t>(r.down)] : nullptr;
    ctx.mainUp = r.mainUp >= 0 ? &m_hydro.reaches[static_cast<std::size_t>(r.mainUp)] : nullptr;
    ctx.comid = ids.comid;
    ctx.fromComid = ids.comid;
    ctx.toComid = r.down >= 0 ? m_ids[static_cast<std::size_t>(r.down)].comid : 0;
    ctx.gridCode = ids.gridCode;
    ctx.gridCount = r.catchCells;
    ctx.waterbodyComid = ids.waterbodyComid;
    const std::int64_t globalCells = m_layout.GlobalRows() * m_layout.GlobalCols();
    ctx.fromNode = static_cast<std::int32_t>(r.firstGlobal + 1);
    ctx.toNode = r.down >= 0
                     ? static_cast<std::int32_t>(
                           m_hydro.reaches[static_cast<std::size_t>(r.down)].firstGlobal + 1)
                     : static_cast<std::int32_t>(globalCells + r.outletGlobal + 1);
    ctx.duuid = ids.producer + 1;
    ctx.prodUnit = Layout::UnitCode(ids.producer);
    ctx.huc8 = Huc8(ids.producer);
    ctx.reachCode = ids.reachCode;
    ctx.featType = "Flowline";
    ctx.areaSqKm = r.catchCells * kCellSize * kCellSize / 1e6;
    ctx.lengthKm = r.lengthM / 1000.0;
    ctx.elevationM = (r.topElevCm + r.outletElevCm) / 200.0;
    ctx.ftype = 460;
    ctx.fcode = 46006;
    ctx.climateX = static_cast<double>(r.outletGlobal % m_layout.GlobalCols()) /
                   static_cast<double>(m_layout.GlobalCols());
    ctx.climateY = static_cast<double>(r.outletGlobal / m_layout.GlobalCols()) /
                   static_cast<double>(m_layout.GlobalRows());
    return ctx;
  }

  // ------------------------------------------------------------------ grids
  gis::GridGeometry Geometry() const {
    gis::GridGeometry g;
    g.originX = X(m_hydro.rect.col0, 0.0);
    g.originY = Y(m_hydro.rect.row0, 0.0);
    g.cellSize = kCellSize;
    g.cols = m_hydro.Cols();
    g.rows = m_hydro.Rows();
    g.crsWkt = m_wkt;
    return g;
  }

  // 8-bit grids (flow directions) keep 255 for no data, 32-bit ones the lowest integer.
  template <typename CellFn>
  void WriteGrid(const schema::Grid& grid, CellFn cell) {
    const bool byte = grid.cellType == schema::CellType::UInt8;
    gis::GridWriter writer(m_folder / grid.Path(), Geometry(),
                           byte ? gis::CellType::UInt8 : gis::CellType::Int32,
                           byte ? kFdrNoData : kIntNoData);
    const int cols = m_hydro.Cols();
    std::vector<std::int32_t> block(static_cast<std::size_t>(kRowsPerBlock) * cols);
    for (int row = 0; row < m_hydro.Rows(); row += kRowsPerBlock) {
      const int count = std::min(kRowsPerBlock, m_hydro.Rows() - row);
      for (int i = 0; i < count * cols; ++i)
        block[static_cast<std::size_t>(i)] = cell(static_cast<std::size_t>(row) * cols + i);
      writer.WriteRows(row, count, block.data());
    }
    writer.Close();
  }

  std::int32_t CatValue(std::size_t cell) const {
    const std::int32_t r = m_hydro.catReach[cell];
    return r >= 0 ? m_ids[static_cast<std::size_t>(r)].gridCode : kIntNoData;
  }

  // The schema's grids, each filled with what the generator models under its name.
  void WriteGrids() {
    for (const schema::Grid& grid : m_schema.grids) {
      if (grid.name == "cat") {
        WriteGrid(grid, [&](std::size_t i) { return CatValue(i); });
        WriteCatVat(m_folder / grid.Path());
      } else if (grid.name == "elev_cm") {
        WriteGrid(grid, [&](std::size_t i) { return m_hydro.elevCm[i]; });
      } else if (grid.name == "fac") {
        WriteGrid(grid, [&](std::size_t i) { return m_hydro.acc[i]; });
      } else if (grid.name == "fdr") {
        WriteGrid(grid, [&](std::size_t i) { return std::int32_t{m_hydro.fdr[i]}; });
      } else {
        throw std::runtime_error("The generator has no model of the schema's grid " + grid.Path());
      }
    }
  }

  void WriteCatVat(const fs::path& gridFolder) {
    gis::Vat vat;
    for (const Field& f : m_schema.catVat) vat.fields.push_back(schema::ToDbfField(f));
    std::vector<std::size_t> byCode(m_hydro.reaches.size());
    for (std::size_t k = 0; k < byCode.size(); ++k) byCode[k] = k;
    std::sort(byCode.begin(), byCode.end(),
              [&](std::size_t a, std::size_t b) { return m_ids[a].gridCode < m_ids[b].gridCode; });
    for (std::size_t k : byCode) {
      if (m_hydro.reaches[k].catchCells == 0) continue;
      gis::VatRow row;
      for (const Field& f : m_schema.catVat) {
        const std::string name = Lower(f.name);
        if (name == "value")
          row.emplace_back(std::int64_t{m_ids[k].gridCode});
        else if (name == "count")
          row.emplace_back(std::int64_t{m_hydro.reaches[k].catchCells});
        else if (name == "comid")
          row.emplace_back(std::int64_t{m_ids[k].comid});
        else if (name == "prod_unit")
          row.emplace_back(Layout::UnitCode(m_ids[k].producer));
        else
          row.emplace_back(std::monostate{});
      }
      vat.rows.push_back(std::move(row));
    }
    gis::WriteVat(gridFolder, vat);
  }

  // ------------------------------------------------------------------ feature classes
  // The schema's folder spelling may differ in case from the grid folder already written;
  // one folder serves both.
  FeatureClass Placed(const FeatureClass& fc) const {
    FeatureClass placed = fc;
    if (fc.folder.empty()) return placed;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(m_folder, ec))
      if (entry.is_directory() && Lower(entry.path().filename().string()) == Lower(fc.folder))
        placed.folder = entry.path().filename().string();
    return placed;
  }

  struct OpenLayer {
    GDALDatasetUniquePtr ds;
    OGRLayer* layer = nullptr;
  };

  OpenLayer Open(const fs::path& file) const {
    OpenLayer open;
    open.ds = gis::OpenShapefile(file, true, "Cannot open for update");
    open.layer = open.ds->GetLayer(0);
    if (open.layer == nullptr) throw std::runtime_error("Holds no layer: " + file.string());
    return open;
  }

  void Add(OpenLayer& out, const std::vector<Field>& fields, const RowContext& ctx,
           std::unique_ptr<OGRGeometry> geometry, const fs::path& file) {
    OGRFeature feature(out.layer->GetLayerDefn());
    if (geometry) {
      geometry->assignSpatialReference(out.layer->GetSpatialRef());
      CPLErrorReset();
      if (feature.SetGeometryDirectly(geometry.release()) != OGRERR_NONE)
        throw GdalError("Cannot set a geometry", file);
    }
    FillFields(feature, fields, ctx);
    CPLErrorReset();
    if (out.layer->CreateFeature(&feature) != OGRERR_NONE)
      throw GdalError("Cannot write a feature", file);
  }

  void WriteFeatureClass(const FeatureClass& schemaFc) {
    const FeatureClass fc = Placed(schemaFc);
    schema::CreateEmptyFeatureClass(m_folder, fc, m_schema.epsg);
    const fs::path file =
        (fc.folder.empty() ? m_folder : m_folder / fc.folder) / (fc.name + ".shp");
    OpenLayer out = Open(file);
    const std::string name = Lower(fc.name);
    if (name == "catchment")
      WriteCatchments(out, fc, file);
    else if (Contains(name, "flowline"))
      WriteFlowlines(out, fc, file);
    else if (Contains(name, "waterbody"))
      WriteWaterbodies(out, fc, file);
    else if (Contains(name, "gage"))
      WriteGages(out, fc, file);
    else if (Contains(name, "subbasin"))
      WriteSubbasin(out, fc, file);
    else if (EndsWith(name, "area"))
      WriteAreas(out, fc, file);
    else if (EndsWith(name, "line"))
      WriteLines(out, fc, file);
    else if (EndsWith(name, "point"))
      WritePoints(out, fc, file);
    // Any other feature class stays empty: the generator has no model of what it holds.
    gis::CloseDataset(out.ds, "Cannot close", file);
  }

  std::unique_ptr<OGRLineString> FlowPath(const Reach& r) const {
    auto line = std::make_unique<OGRLineString>();
    for (std::int32_t cell : r.cells) line->addPoint(X(GCol(cell)), Y(GRow(cell)));
    const std::int32_t outlet = r.cells.back();
    const int slot = DirectionSlot(m_hydro.fdr[static_cast<std::size_t>(outlet)]);
    // One more vertex: the next reach's first cell, or the unit edge half a step away.
    const double step = r.down >= 0 ? 1.0 : 0.5;
    line->addPoint(X(GCol(outlet), 0.5 + step * kDirCol[slot]),
                   Y(GRow(outlet), 0.5 + step * kDirRow[slot]));
    return line;
  }

  void WriteFlowlines(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
      auto line = FlowPath(m_hydro.reaches[k]);
      RowContext ctx = ReachContext(k, fc.name);
      ctx.shapeLength = ShapeLength(*line);
      Add(out, fc.fields, ctx, std::move(line), file);
    }
  }

  // Catchment polygons come from the catchment grid itself, so they cover exactly its cells.
  void WriteCatchments(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    const int cols = m_hydro.Cols(), rows = m_hydro.Rows();
    CPLErrorReset();
    DatasetPtr raster(gis::Driver("MEM", file).Create("", cols, rows, 1, GDT_Int32, nullptr));
    if (!raster) throw GdalError("Cannot create an in-memory grid", file);
    double transform[6] = {X(m_hydro.rect.col0, 0.0), kCellSize, 0,
                           Y(m_hydro.rect.row0, 0.0), 0,         -kCellSize};
    CPLErrorReset();
    if (raster->SetGeoTransform(transform) != CE_None)
      throw GdalError("Cannot georeference the in-memory grid", file);
    GDALRasterBand* band = raster->GetRasterBand(1);
    {
      std::vector<std::int32_t> line(static_cast<std::size_t>(cols));
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
          const std::int32_t v = CatValue(static_cast<std::size_t>(r) * cols + c);
          line[static_cast<std::size_t>(c)] = v > 0 ? v : 0;
        }
        CPLErrorReset();
        if (band->RasterIO(GF_Write, 0, r, cols, 1, line.data(), cols, 1, GDT_Int32, 0, 0,
                           nullptr) != CE_None)
          throw GdalError("Cannot fill the in-memory grid", file);
      }
    }
    CPLErrorReset();
    DatasetPtr polys(gis::Driver("Memory", file).Create("", 0, 0, 0, GDT_Unknown, nullptr));
    if (!polys) throw GdalError("Cannot create an in-memory layer", file);
    CPLErrorReset();
    OGRLayer* layer = polys->CreateLayer("cat", nullptr, wkbPolygon, nullptr);
    if (layer == nullptr) throw GdalError("Cannot create an in-memory layer", file);
    gis::AddField(*layer, {"code", gis::DbfType::Integer, 9, 0}, file);
    // The band is its own mask: cells of no catchment (0) yield no polygon.
    CPLErrorReset();
    if (GDALPolygonize(band, band, layer, 0, nullptr, nullptr, nullptr) != CE_None)
      throw GdalError("Cannot polygonise the catchment grid", file);

    std::map<std::int32_t, std::unique_ptr<OGRMultiPolygon>> parts;
    layer->ResetReading();
    for (auto& f : *layer) {
      const std::int32_t code = f->GetFieldAsInteger(0);
      const OGRGeometry* g = f->GetGeometryRef();
      if (g == nullptr || wkbFlatten(g->getGeometryType()) != wkbPolygon) continue;
      auto& mp = parts[code];
      if (!mp) mp = std::make_unique<OGRMultiPolygon>();
      if (mp->addGeometry(g) != OGRERR_NONE)
        throw std::runtime_error("Cannot collect catchment polygons: " + file.string());
    }
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
      const auto found = parts.find(m_ids[k].gridCode);
      if (found == parts.end()) continue;
      std::unique_ptr<OGRGeometry> g;
      if (found->second->getNumGeometries() == 1)
        g.reset(found->second->getGeometryRef(0)->clone());
      else
        g = std::move(found->second);
      RowContext ctx = ReachContext(k, fc.name);
      ctx.shapeLength = ShapeLength(*g);
      ctx.shapeArea = ShapeArea(*g);
      Add(out, fc.fields, ctx, std::move(g), file);
    }
  }

  RowContext FeatureContext(std::size_t k, const std::string& className, const char* kind,
                            int ftype, int fcode) {
    RowContext ctx = ReachContext(k, className);
    ctx.comid = kind == nullptr ? m_ids[k].comid
                                : m_registry.FeatureComid(Mix(m_ids[k].key, HashText(kind)));
    ctx.key = Mix(m_layout.Seed(), static_cast<std::uint64_t>(ctx.comid));
    ctx.ftype = ftype;
    ctx.fcode = fcode;
    return ctx;
  }

  void WriteWaterbodies(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
      if (m_ids[k].waterbodyComid == 0) continue;
      const Reach& r = m_hydro.reaches[k];
      const std::int32_t mid = r.cells[r.cells.size() / 2];
      RowContext ctx = FeatureContext(k, fc.name, "waterbody", 390, 39004);
      auto g = RegularPolygon(X(GCol(mid)), Y(GRow(mid)),
                              kCellSize * Uniform(Mix(ctx.key, 1), 1.2, 3.0), 12);
      ctx.areaSqKm = g->get_Area() / 1e6;
      ctx.shapeLength = ShapeLength(*g);
      ctx.shapeArea = ShapeArea(*g);
      Add(out, fc.fields, ctx, std::move(g), file);
    }
  }

  void WriteAreas(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
      if (m_hydro.reaches[k].strahler < 2 || !Chosen(m_ids[k], "area", 8)) continue;
      RowContext ctx = FeatureContext(k, fc.name, "area", 460, 46006);
      const auto path = FlowPath(m_hydro.reaches[k]);
      CPLErrorReset();
      std::unique_ptr<OGRGeometry> g(path->Buffer(kCellSize * 0.6, 4));
      if (!g || g->IsEmpty()) throw GdalError("Cannot buffer a flowline into a river area", file);
      ctx.areaSqKm = Area(*g) / 1e6;
      ctx.shapeLength = ShapeLength(*g);
      ctx.shapeArea = ShapeArea(*g);
      Add(out, fc.fields, ctx, std::move(g), file);
    }
  }

  void WriteLines(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
      if (!Chosen(m_ids[k], "line", 20)) continue;
      // A weir across the outlet, square to the flow.
      const Reach& r = m_hydro.reaches[k];
      const std::int32_t outlet = r.cells.back();
      const int slot = DirectionSlot(m_hydro.fdr[static_cast<std::size_t>(outlet)]);
      const double cx = X(GCol(outlet)), cy = Y(GRow(outlet));
      auto g = std::make_unique<OGRLineString>();
      g->addPoint(cx - kDirRow[slot] * kCellSize, cy - kDirCol[slot] * kCellSize);
      g->addPoint(cx + kDirRow[slot] * kCellSize, cy + kDirCol[slot] * kCellSize);
      RowContext ctx = FeatureContext(k, fc.name, "line", 343, 34300);
      ctx.lengthKm = g->get_Length() / 1000.0;
      ctx.shapeLength = ShapeLength(*g);
      Add(out, fc.fields, ctx, std::move(g), file);
    }
  }

  void WritePoints(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
      const Reach& r = m_hydro.reaches[k];
      if (!r.ups.empty() || !Chosen(m_ids[k], "spring", 5)) continue;
      RowContext ctx = FeatureContext(k, fc.name, "spring", 458, 45800);
      Add(out, fc.fields, ctx,
          std::make_unique<OGRPoint>(X(GCol(r.cells.front())), Y(GRow(r.cells.front()))), file);
    }
  }

  void WriteGages(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
      const Reach& r = m_hydro.reaches[k];
      if (!Chosen(m_ids[k], "gage", 12)) continue;
      RowContext ctx =
          FeatureContext(k, fc.name, nullptr, 0, 0);  // events sit on the flowline's Comid
      const std::int32_t at = r.cells[r.cells.size() / 2];
      Add(out, fc.fields, ctx, std::make_unique<OGRPoint>(X(GCol(at)), Y(GRow(at))), file);
    }
  }

  void WriteSubbasin(OpenLayer& out, const FeatureClass& fc, const fs::path& file) {
    const CellRect& u = m_hydro.rect;
    OGRLinearRing ring;
    ring.addPoint(X(u.col0, 0), Y(u.row0, 0));
    ring.addPoint(X(u.col0 + u.cols, 0), Y(u.row0, 0));
    ring.addPoint(X(u.col0 + u.cols, 0), Y(u.row0 + u.rows, 0));
    ring.addPoint(X(u.col0, 0), Y(u.row0 + u.rows, 0));
    ring.addPoint(X(u.col0, 0), Y(u.row0, 0));
    auto g = std::make_unique<OGRPolygon>();
    if (g->addRing(&ring) != OGRERR_NONE)
      throw std::runtime_error("cannot build the subbasin polygon");
    RowContext ctx = UnitContext(fc.name, "subbasin");
    ctx.areaSqKm = g->get_Area() / 1e6;
    ctx.shapeLength = ShapeLength(*g);
    ctx.shapeArea = ShapeArea(*g);
    Add(out, fc.fields, ctx, std::move(g), file);
  }

  RowContext UnitContext(const std::string& className, const char* kind) {
    RowContext ctx;
    ctx.className = className;
    ctx.comid = m_registry.FeatureComid(
        Mix(m_layout.Seed(), HashText(kind), static_cast<std::uint64_t>(m_unit)));
    ctx.key = Mix(m_layout.Seed(), static_cast<std::uint64_t>(ctx.comid));
    ctx.duuid = m_unit + 1;
    ctx.prodUnit = Layout::UnitCode(m_unit);
    ctx.huc8 = Huc8(m_unit);
    ctx.featType = "Unit";
    return ctx;
  }

  // ------------------------------------------------------------------ tables
  void WriteTable(const Table& table) {
    schema::CreateEmptyTable(m_folder, table);
    const fs::path file = m_folder / (table.name + ".dbf");
    OpenLayer out = Open(file);
    const std::string name = Lower(table.name);
    auto rowPerReach = [&](auto select) {
      for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k)
        if (select(k)) Add(out, table.fields, ReachContext(k, table.name), nullptr, file);
    };
    if (HasField(table.fields, "comid")) {
      if (Contains(name, "headwater"))
        rowPerReach([&](std::size_t k) { return m_hydro.reaches[k].ups.empty(); });
      else if (Contains(name, "event"))
        rowPerReach([&](std::size_t k) { return Chosen(m_ids[k], table.name.c_str(), 6); });
      else if (Contains(name, "crossreference"))
        rowPerReach([&](std::size_t k) { return Chosen(m_ids[k], table.name.c_str(), 10); });
      else
        rowPerReach([](std::size_t) { return true; });
    } else if (HasField(table.fields, "fromcomid")) {
      // One connection per reach, plus the headwater rows that start from no reach.
      for (std::size_t k = 0; k < m_hydro.reaches.size(); ++k) {
        RowContext ctx = ReachContext(k, table.name);
        Add(out, table.fields, ctx, nullptr, file);
        if (m_hydro.reaches[k].ups.empty()) {
          ctx.key = Mix(ctx.key, HashText("headwater"));
          ctx.toComid = ctx.comid;
          ctx.fromComid = 0;
          ctx.toNode = ctx.fromNode;
          Add(out, table.fields, ctx, nullptr, file);
        }
      }
    } else if (HasField(table.fields, "abovecomid")) {
      rowPerReach([&](std::size_t k) {
        return m_hydro.reaches[k].down >= 0 && Chosen(m_ids[k], table.name.c_str(), 15);
      });
    } else {
      Add(out, table.fields, UnitContext(table.name, table.name.c_str()), nullptr, file);
    }
    gis::CloseDataset(out.ds, "Cannot close", file);
  }

  // ------------------------------------------------------------------ notes
  void WriteNotes() {
    const std::string code = Layout::UnitCode(m_unit);
    const CellRect& u = m_hydro.rect;
    auto write = [&](const fs::path& file, const std::string& text) {
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out << text;
      out.close();
      if (!out) throw std::runtime_error(file.string() + ": cannot write");
    };
    std::size_t shared = 0;
    for (const ReachIds& id : m_ids) shared += id.producer != m_unit ? 1 : 0;
    write(m_folder / (code + "_readme.txt"),
          "Drainage unit " + code + " (synthetic)\n" + "Cells: " + std::to_string(u.cols) + " x " +
              std::to_string(u.rows) + " of 30 m, EPSG:5070\n" +
              "Upper left: " + std::to_string(X(u.col0, 0)) + " " + std::to_string(Y(u.row0, 0)) +
              "\n" + "Reaches: " + std::to_string(m_hydro.reaches.size()) + " (" +
              std::to_string(shared) + " also written by an earlier unit)\n");
    write(m_folder / "processing_notes.txt",
          "Terrain: value noise over a regional fall to the south-east, seed " +
              std::to_string(m_layout.Seed()) +
              ".\nDepressions filled by priority flood; D8 directions; streams from " +
              "flow accumulation, broken into reaches at confluences.\n");
  }

  fs::path m_folder;
  const Layout& m_layout;
  int m_unit;
  const UnitHydrology& m_hydro;
  const schema::Schema& m_schema;
  ComidRegistry& m_registry;
  std::string m_wkt;
  std::vector<ReachIds> m_ids;
};

}  // namespace

UnitSummary WriteUnitWorkspace(const fs::path& folder, const Layout& layout, int unit,
                               const UnitHydrology& hydro, const schema::Schema& schema,
                               ComidRegistry& registry) {
  gis::EnsureGdal();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error(folder.string() + ": cannot create the folder: " + ec.message());
  // GDAL reports some data loss (a value too wide for its field, say) only as a warning; any
  // message during a unit is treated as a failure of that unit.
  const gis::QuietGdal quiet;
  UnitSummary summary = Writer(folder, layout, unit, hydro, schema, registry).Run();
  if (auto problem = quiet.FirstMessage("GDAL reported a problem", folder)) throw *problem;
  return summary;
}

}  // namespace rivanet::synth
