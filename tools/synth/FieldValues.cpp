#include "FieldValues.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <variant>

#include "SynthRandom.h"

namespace rivanet::synth {

namespace {

using schema::Field;
using schema::FieldType;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return s;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

struct Date {
  int year, month, day;
};

Date DrawDate(std::uint64_t h) {
  return Date{static_cast<int>(UniformInt(h, 1999, 2012)),
              static_cast<int>(UniformInt(Mix(h, 1), 1, 12)),
              static_cast<int>(UniformInt(Mix(h, 2), 1, 28))};
}

std::string Digits(std::uint64_t h, int count) {
  std::string s;
  for (int i = 0; i < count; ++i)
    s += static_cast<char>('0' + Mix(h, static_cast<std::uint64_t>(i)) % 10);
  return s;
}

std::string Fit(std::string s, int width) {
  if (static_cast<int>(s.size()) > width) s.resize(static_cast<std::size_t>(width));
  return s;
}

const char* const kNameRoots[] = {"Aspen",   "Bear",  "Cedar", "Deer",    "Elk",    "Fox",
                                  "Granite", "Hawk",  "Iron",  "Juniper", "Kettle", "Lost",
                                  "Mill",    "North", "Otter", "Pine",    "Quartz", "Rock",
                                  "Silver",  "Trout", "Upper", "Willow"};
const char* const kStreamKinds[] = {"Creek", "Run", "Brook", "River", "Fork", "Branch"};
const char* const kLakeKinds[] = {"Lake", "Pond", "Reservoir"};

std::string PlaceName(std::uint64_t h, bool water) {
  const std::string root = kNameRoots[h % (sizeof kNameRoots / sizeof *kNameRoots)];
  const std::uint64_t k = Mix(h, 7);
  if (water) return root + " " + kLakeKinds[k % 3];
  return root + " " + kStreamKinds[k % 6];
}

bool Named(const RowContext& ctx) { return Mix(ctx.key, 0x6E15ull) % 3 == 0; }

// Climate varies smoothly across the layout so that neighbouring catchments look alike.
double Precip(const RowContext& ctx) {
  return 600.0 + 500.0 * ctx.climateX + 250.0 * ctx.climateY + Uniform(Mix(ctx.key, 31), -20, 20);
}
double MeanTemp(const RowContext& ctx) {
  return 14.0 - 6.0 * ctx.climateY - 0.004 * ctx.elevationM + Uniform(Mix(ctx.key, 32), -0.3, 0.3);
}

using Value = std::variant<std::monostate, std::int64_t, double, std::string, Date>;

double TotalDrainageSqKm(const RowContext& ctx) {
  return ctx.reach ? ctx.reach->outletAcc * kCellSize * kCellSize / 1e6 : ctx.areaSqKm;
}

Value Known(const std::string& name, const RowContext& ctx) {
  const Reach* r = ctx.reach;
  const std::uint64_t h = Mix(ctx.key, HashText(name));
  if (name == "comid" || name == "featureid") return std::int64_t{ctx.comid};
  if (name == "fromcomid" || name == "abovecomid") return std::int64_t{ctx.fromComid};
  if (name == "tocomid" || name == "belowcomid") return std::int64_t{ctx.toComid};
  if (name == "gridcode") return std::int64_t{ctx.gridCode};
  if (name == "gridcount") return std::int64_t{ctx.gridCount};
  if (name == "prod_unit") return ctx.prodUnit;
  if (name == "duuid") return std::int64_t{ctx.duuid};
  if (name == "huc_8") return ctx.huc8;
  if (name == "hu_8_name") return "Synthetic basin " + ctx.prodUnit;
  if (name == "states") return std::string("CO,WY");
  if (name == "areasqkm") return ctx.areaSqKm;
  if (name == "lengthkm") return ctx.lengthKm;
  if (name == "shape_leng") return ctx.shapeLength;
  if (name == "shape_area") return ctx.shapeArea;
  if (name == "reachcode" || name == "oldreachcd" || name == "newreachcd") return ctx.reachCode;
  if (name == "resolution") return std::int64_t{2};
  if (name == "ftype") return std::int64_t{ctx.ftype};
  if (name == "fcode") return std::int64_t{ctx.fcode};
  if (name == "flowdir" || name == "enabled") return std::int64_t{1};
  if (name == "wbareacomi") return std::int64_t{ctx.waterbodyComid};
  if (name == "gnis_id") return Named(ctx) ? Digits(Mix(ctx.key, 0x6E15ull), 8) : std::string();
  if (name == "gnis_name")
    return Named(ctx) ? PlaceName(Mix(ctx.key, 0x6E16ull), ctx.ftype == 390) : std::string();
  if (name == "elevation") return ctx.elevationM;
  if (name == "sourcefc") return std::string("RVXFlowline");
  if (name == "feattype") return ctx.featType;
  if (name == "status") return std::string("Current");
  if (name == "changes") return std::string();
  if (name == "nodenumber") return std::int64_t{ctx.toNode};
  if (name == "fromnode") return std::int64_t{ctx.fromNode};
  if (name == "tonode") return std::int64_t{ctx.toNode};
  if (name == "direction") return std::int64_t{709};
  if (name == "gapdistkm" || name == "divergence" || name == "dnminorhyd" || name == "frommeas" ||
      name == "fmeasure") {
    return name == "divergence" || name == "dnminorhyd" ? Value(std::int64_t{0}) : Value(0.0);
  }
  if (name == "tomeas" || name == "tmeasure") return 100.0;
  if (name == "hasgeo") return std::string("Y");
  if (name == "eventtype") return std::int64_t{57001};
  if (name == "eventid" || name == "feature_id" || name == "source_fea") return Digits(h, 8);
  if (name == "measure" || name == "oldmeasure" || name == "newmeasure")
    return std::round(Uniform(h, 0, 100) * 1000) / 1000;
  if (name == "source_ori") return std::string("Synthetic gage network");
  if (name == "source_dat") return std::string("Generated observations");
  if (name == "featuredet") return "Gage record " + Digits(Mix(ctx.key, HashText("feature_id")), 8);
  if (name == "processor") return std::string("rivanet-synth");
  if (name == "metasource" || name == "sourceorg" || name == "originator" || name == "contactorg")
    return std::string("Synthetic hydrography");
  if (name == "title") return "Synthetic terrain and hydrography of unit " + ctx.prodUnit;
  if (name == "sourcescal") return std::int64_t{100000};
  if (name == "precipmm" || name == "cumprecmm") return std::round(Precip(ctx) * 100) / 100;
  if (name == "tempmeanc" || name == "cumtempc") return std::round(MeanTemp(ctx) * 100) / 100;
  if (name == "tempminc" || name == "cumtminc")
    return std::round((MeanTemp(ctx) - 9.5) * 100) / 100;
  if (name == "tempmaxc" || name == "cumtmaxc")
    return std::round((MeanTemp(ctx) + 10.5) * 100) / 100;
  if (name == "cumsqkm" || name == "totdasqkm" || name == "divdasqkm")
    return TotalDrainageSqKm(ctx);
  if (name == "hwnodesqkm") return ctx.areaSqKm;
  // Flow from drainage area and precipitation, in cubic feet per second as the attributes use.
  const double runoffCfsPerSqKm = Precip(ctx) / 1000.0 * 0.35 * 1e6 / (365.25 * 86400) * 35.3147;
  if (name == "maflowu" || name == "maflowv") return TotalDrainageSqKm(ctx) * runoffCfsPerSqKm;
  if (name == "incrflowu") return ctx.areaSqKm * runoffCfsPerSqKm;
  if (name == "mavelu" || name == "mavelv") return 0.4 + 0.1 * std::log1p(TotalDrainageSqKm(ctx));
  if (name == "gageqma")
    return Mix(ctx.key, 0x6A6Eull) % 8 == 0 ? TotalDrainageSqKm(ctx) * runoffCfsPerSqKm * 1.05
                                            : 0.0;
  if (name == "gageid")
    return Mix(ctx.key, 0x6A6Eull) % 8 == 0 ? Digits(Mix(ctx.key, 0x6A6Full), 8) : std::string();
  if (r != nullptr) {
    if (name == "streamleve") return std::int64_t{r->level};
    if (name == "streamorde" || name == "streamcalc") return std::int64_t{r->strahler};
    if (name == "hydroseq") return std::int64_t{r->hydroSeq};
    if (name == "levelpathi") return std::int64_t{r->levelPath};
    if (name == "pathlength") return r->pathLengthKm;
    if (name == "terminalpa") return std::int64_t{r->terminalPath};
    if (name == "arbolatesu") return r->arbolateKm;
    if (name == "startflag") return std::int64_t{r->ups.empty() ? 1 : 0};
    if (name == "terminalfl") return std::int64_t{r->down < 0 ? 1 : 0};
    if (name == "dndraincou") return std::int64_t{r->down < 0 ? 0 : 1};
    if (name == "dnlevel") return std::int64_t{ctx.down ? ctx.down->level : 0};
    if (name == "dnlevelpat") return std::int64_t{ctx.down ? ctx.down->levelPath : 0};
    if (name == "dnhydroseq") return std::int64_t{ctx.down ? ctx.down->hydroSeq : 0};
    if (name == "uplevelpat") return std::int64_t{ctx.mainUp ? ctx.mainUp->levelPath : 0};
    if (name == "uphydroseq") return std::int64_t{ctx.mainUp ? ctx.mainUp->hydroSeq : 0};
    if (name == "deltalevel") return std::int64_t{ctx.down ? ctx.down->level - r->level : 0};
  }
  return {};
}

// Anything the names above do not cover: a value of the right type and size from the key.
Value ByType(const Field& field, std::uint64_t h) {
  switch (field.type) {
    case FieldType::Integer: {
      const int digits = std::min(field.width, 9);
      std::int64_t top = 1;
      for (int i = 0; i < digits; ++i) top *= 10;
      return UniformInt(h, 0, top - 1);
    }
    case FieldType::Real: {
      const int whole = std::max(1, std::min(field.width - field.precision - 2, 6));
      double top = 1;
      for (int i = 0; i < whole; ++i) top *= 10;
      const double scale = std::pow(10.0, std::min(field.precision, 6));
      return std::round(Uniform(h, 0, top - 1) * scale) / scale;
    }
    case FieldType::String: {
      char hex[20];
      std::snprintf(hex, sizeof hex, "X%016llX", static_cast<unsigned long long>(h));
      return Fit(hex, field.width);
    }
    case FieldType::Date:
      return DrawDate(h);
  }
  return {};
}

// Land-cover percentages: one set of weights per row, scaled so the row sums to 100.
bool IsShare(const std::string& name) {
  return StartsWith(name, "pct") || StartsWith(name, "cumpct");
}

}  // namespace

std::string MakeReachCode(const std::string& huc8, std::int32_t comid) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "%06d", comid % 1000000);
  return huc8 + tail;
}

int FieldIndex(OGRFeatureDefn& defn, const std::string& name) {
  const int i = defn.GetFieldIndex(name.c_str());
  if (i < 0) throw std::runtime_error("field " + name + " is missing from " + defn.GetName());
  return i;
}

void FillFields(OGRFeature& feature, const std::vector<Field>& fields, const RowContext& ctx) {
  double shareTotal = 0;
  for (const Field& f : fields) {
    const std::string name = Lower(f.name);
    if (IsShare(name))
      shareTotal +=
          std::pow(UnitInterval(Mix(ctx.key, HashText(name.substr(name.find("pct") + 3)))), 3.0);
  }
  OGRFeatureDefn& defn = *feature.GetDefnRef();
  for (const Field& f : fields) {
    const int index = FieldIndex(defn, f.name);
    const std::string name = Lower(f.name);
    const std::uint64_t h = Mix(ctx.key, HashText(name));
    Value v;
    if (IsShare(name) && f.type == FieldType::Real) {
      const double w =
          std::pow(UnitInterval(Mix(ctx.key, HashText(name.substr(name.find("pct") + 3)))), 3.0);
      v = std::round(w / shareTotal * 100.0 * 1000.0) / 1000.0;
    } else if (f.type == FieldType::Date) {
      v = DrawDate(h);
    } else {
      v = Known(name, ctx);
      if (std::holds_alternative<std::monostate>(v)) v = ByType(f, h);
    }
    // A known name whose value has the wrong type for the field falls back to the type.
    const bool fits = (f.type == FieldType::Integer && std::holds_alternative<std::int64_t>(v)) ||
                      (f.type == FieldType::Real && (std::holds_alternative<double>(v) ||
                                                     std::holds_alternative<std::int64_t>(v))) ||
                      (f.type == FieldType::String && std::holds_alternative<std::string>(v)) ||
                      (f.type == FieldType::Date && std::holds_alternative<Date>(v));
    if (!fits) v = ByType(f, h);
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
      if (f.type == FieldType::Real)
        feature.SetField(index, static_cast<double>(*i));
      else
        feature.SetField(index, static_cast<int>(*i));
    } else if (const auto* d = std::get_if<double>(&v)) {
      // dBASE keeps width - precision - 1 characters before the point; a value that does not
      // fit would be dropped by the driver with only a warning.
      if (std::fabs(*d) >= std::pow(10.0, f.width - f.precision - 1 - (*d < 0 ? 1 : 0)))
        throw std::logic_error(ctx.className + "." + f.name + ": value " + std::to_string(*d) +
                               " does not fit the field");
      feature.SetField(index, *d);
    } else if (const auto* s = std::get_if<std::string>(&v)) {
      if (!s->empty()) feature.SetField(index, Fit(*s, f.width).c_str());
    } else if (const auto* dt = std::get_if<Date>(&v)) {
      feature.SetField(index, dt->year, dt->month, dt->day, 0, 0, 0.0f, 0);
    }
  }
}

}  // namespace rivanet::synth
