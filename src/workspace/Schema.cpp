#include "workspace/Schema.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "platform/Error.h"
#include "platform/Text.h"

namespace rivanet::schema {

namespace {

constexpr std::size_t kMaxDbfNameLength = 10;
constexpr int kMaxIntegerWidth = 10;  // wider N fields come back from OGR as Integer64/Real
constexpr int kMaxStringWidth = 254;
constexpr int kMaxRealWidth = 31;
constexpr int kDateWidth = 8;

bool SameName(const std::string& a, const std::string& b) { return SameIgnoringCase(a, b); }

// Letters, digits and '_', starting with a letter: safe as a dBASE field name, a file
// name and a folder name on every platform the workspaces travel to.
bool IsPlainName(const std::string& s) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s.front()))) return false;
  return std::all_of(s.begin(), s.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

class Parser {
 public:
  explicit Parser(std::string origin) : m_origin(std::move(origin)) {}

  Schema Parse(std::istream& in) {
    std::string text;
    while (std::getline(in, text)) {
      ++m_line;
      ParseLine(text);
    }
    if (m_block != Block::None) {
      m_line = m_blockLine;
      Fail("'" + m_blockKeyword + "' is never closed with 'end'");
    }
    if (!m_epsgLine) Fail("no 'epsg' line");
    if (!m_vatLine) Fail("no 'vat' section");
    return std::move(m_schema);
  }

 private:
  enum class Block { None, FeatureClass, Table, Vat };

  [[noreturn]] void Fail(const std::string& message) const {
    throw AppError(kErrInvalidArgument, m_origin + ":" + std::to_string(m_line) + ": " + message);
  }

  void ParseLine(std::string text) {
    if (auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
    std::istringstream words(text);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) return;

    const std::string& keyword = w[0];
    if (keyword == "field") return ParseField(w);
    if (keyword == "end") return ParseEnd(w);
    if (keyword == "epsg" || keyword == "featureclass" || keyword == "table" || keyword == "vat" ||
        keyword == "grid" || keyword == "append") {
      if (m_block != Block::None)
        Fail("'" + keyword + "' inside '" + m_blockKeyword + "' (line " +
             std::to_string(m_blockLine) + "); close it with 'end' first");
      if (keyword == "epsg") return ParseEpsg(w);
      if (keyword == "featureclass") return ParseFeatureClass(w);
      if (keyword == "table") return ParseTable(w);
      if (keyword == "grid") return ParseGrid(w);
      if (keyword == "append") return ParseAppend(w);
      return ParseVat(w);
    }
    Fail("unknown keyword '" + keyword + "'");
  }

  void ExpectWords(const std::vector<std::string>& w, std::size_t min, std::size_t max,
                   const char* usage) const {
    if (w.size() < min || w.size() > max) Fail(std::string("expected '") + usage + "'");
  }

  int ParseNumber(const std::string& word, const char* what) const {
    int value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size())
      Fail(std::string("bad ") + what + " '" + word + "'");
    return value;
  }

  void ParseEpsg(const std::vector<std::string>& w) {
    ExpectWords(w, 2, 2, "epsg <code>");
    if (m_epsgLine) Fail("second 'epsg' line (first on line " + std::to_string(*m_epsgLine) + ")");
    int code = ParseNumber(w[1], "EPSG code");
    if (code <= 0) Fail("bad EPSG code '" + w[1] + "'");
    m_schema.epsg = code;
    m_epsgLine = m_line;
  }

  // Names are unique across feature classes and tables: they are looked up by bare name,
  // and top-level feature classes share the workspace folder (<name>.dbf) with the tables.
  void CheckNewDataset(const std::string& name) const {
    for (const auto& fc : m_schema.featureClasses) {
      if (SameName(fc.name, name)) Fail("duplicate feature class or table name '" + name + "'");
    }
    for (const auto& t : m_schema.tables) {
      if (SameName(t.name, name)) Fail("duplicate feature class or table name '" + name + "'");
    }
  }

  // "folder/sub/name" split into folder and name; both made of plain names.
  std::pair<std::string, std::string> SplitPath(const std::string& path, const char* what) const {
    auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (!IsPlainName(name)) Fail(std::string("bad ") + what + " name '" + name + "'");
    if (slash == 0) Fail("bad folder in '" + path + "'");
    if (!folder.empty()) {
      std::istringstream parts(folder);
      for (std::string part; std::getline(parts, part, '/');) {
        if (!IsPlainName(part)) Fail("bad folder '" + folder + "' in '" + path + "'");
      }
      if (folder.back() == '/') Fail("bad folder '" + folder + "' in '" + path + "'");
    }
    return {folder, name};
  }

  void ParseGrid(const std::vector<std::string>& w) {
    ExpectWords(w, 3, 4, "grid <folder/name> <UInt8|Int32> [positive]");
    Grid grid;
    std::tie(grid.folder, grid.name) = SplitPath(w[1], "grid");
    if (grid.folder.empty()) Fail("grid '" + w[1] + "' needs a folder");
    for (const auto& other : m_schema.grids)
      if (SameName(other.name, grid.name)) Fail("duplicate grid '" + grid.name + "'");
    if (w[2] == "UInt8")
      grid.cellType = CellType::UInt8;
    else if (w[2] == "Int32")
      grid.cellType = CellType::Int32;
    else
      Fail("unknown cell type '" + w[2] + "' (UInt8 or Int32)");
    if (w.size() == 4) {
      if (w[3] != "positive") Fail("unknown grid option '" + w[3] + "' (positive)");
      grid.positiveOnly = true;
    }
    m_schema.grids.push_back(std::move(grid));
  }

  // Appends refer to feature classes and tables defined above them.
  void ParseAppend(const std::vector<std::string>& w) {
    ExpectWords(w, 2, 3, "append <name> [work]");
    AppendStep step{w[1], false};
    if (w.size() == 3) {
      if (w[2] != "work") Fail("unknown route '" + w[2] + "' (work)");
      step.viaWork = true;
    }
    const auto isFc = [&](const FeatureClass& fc) { return fc.name == step.name; };
    const auto isTable = [&](const Table& t) { return t.name == step.name; };
    std::vector<AppendStep>* steps = nullptr;
    if (std::any_of(m_schema.featureClasses.begin(), m_schema.featureClasses.end(), isFc))
      steps = &m_schema.featureSteps;
    else if (std::any_of(m_schema.tables.begin(), m_schema.tables.end(), isTable))
      steps = &m_schema.tableSteps;
    else
      Fail("'append " + step.name + "' names no feature class or table defined above");
    for (const auto& other : *steps)
      if (other.name == step.name && other.viaWork == step.viaWork)
        Fail("'append " + step.name + (step.viaWork ? " work" : "") + "' appears twice");
    steps->push_back(std::move(step));
  }

  void ParseFeatureClass(const std::vector<std::string>& w) {
    ExpectWords(w, 3, 3, "featureclass <folder/name> <Point|LineString|Polygon>");
    FeatureClass fc;
    const std::string& path = w[1];
    std::tie(fc.folder, fc.name) = SplitPath(path, "feature class");
    CheckNewDataset(fc.name);

    const std::string& geometry = w[2];
    if (geometry == "Point")
      fc.geometry = Geometry::Point;
    else if (geometry == "LineString")
      fc.geometry = Geometry::LineString;
    else if (geometry == "Polygon")
      fc.geometry = Geometry::Polygon;
    else
      Fail("unknown geometry type '" + geometry + "' (Point, LineString or Polygon)");

    m_schema.featureClasses.push_back(std::move(fc));
    Open(Block::FeatureClass, "featureclass " + path);
  }

  void ParseTable(const std::vector<std::string>& w) {
    ExpectWords(w, 2, 2, "table <name>");
    Table t;
    t.name = w[1];
    if (!IsPlainName(t.name)) Fail("bad table name '" + t.name + "'");
    CheckNewDataset(t.name);
    m_schema.tables.push_back(std::move(t));
    Open(Block::Table, "table " + w[1]);
  }

  void ParseVat(const std::vector<std::string>& w) {
    ExpectWords(w, 1, 1, "vat");
    if (m_vatLine) Fail("second 'vat' section (first on line " + std::to_string(*m_vatLine) + ")");
    m_vatLine = m_line;
    Open(Block::Vat, "vat");
  }

  void Open(Block block, std::string keyword) {
    m_block = block;
    m_blockKeyword = std::move(keyword);
    m_blockLine = m_line;
  }

  std::vector<Field>& CurrentFields() {
    switch (m_block) {
      case Block::FeatureClass:
        return m_schema.featureClasses.back().fields;
      case Block::Table:
        return m_schema.tables.back().fields;
      case Block::Vat:
        return m_schema.catVat;
      case Block::None:
        break;
    }
    Fail("'field' outside a featureclass, table or vat section");
  }

  void ParseField(const std::vector<std::string>& w) {
    std::vector<Field>& fields = CurrentFields();
    if (w.size() < 3) Fail("expected 'field <name> <type> [<width> [<precision>]]'");
    Field f;
    f.name = w[1];
    if (!IsPlainName(f.name)) Fail("bad field name '" + f.name + "'");
    if (f.name.size() > kMaxDbfNameLength)
      Fail("field name '" + f.name + "' is longer than " + std::to_string(kMaxDbfNameLength) +
           " characters");
    for (const auto& other : fields) {
      if (SameName(other.name, f.name)) Fail("duplicate field '" + f.name + "'");
    }

    const std::string& type = w[2];
    if (type == "Integer") {
      ExpectWords(w, 4, 4, "field <name> Integer <width>");
      f.type = FieldType::Integer;
      f.width = ParseNumber(w[3], "width");
      if (f.width < 1 || f.width > kMaxIntegerWidth)
        Fail("Integer width must be 1.." + std::to_string(kMaxIntegerWidth) + ", not " + w[3]);
      f.precision = 0;
    } else if (type == "Real") {
      ExpectWords(w, 5, 5, "field <name> Real <width> <precision>");
      f.type = FieldType::Real;
      f.width = ParseNumber(w[3], "width");
      f.precision = ParseNumber(w[4], "precision");
      if (f.width < 3 || f.width > kMaxRealWidth)
        Fail("Real width must be 3.." + std::to_string(kMaxRealWidth) + ", not " + w[3]);
      // A precision of 0 would make the field read back as an integer field.
      if (f.precision < 1 || f.precision > f.width - 2)
        Fail("Real precision must be 1.." + std::to_string(f.width - 2) + ", not " + w[4]);
    } else if (type == "String") {
      ExpectWords(w, 4, 4, "field <name> String <width>");
      f.type = FieldType::String;
      f.width = ParseNumber(w[3], "width");
      if (f.width < 1 || f.width > kMaxStringWidth)
        Fail("String width must be 1.." + std::to_string(kMaxStringWidth) + ", not " + w[3]);
      f.precision = 0;
    } else if (type == "Date") {
      ExpectWords(w, 3, 3, "field <name> Date");
      f.type = FieldType::Date;
      f.width = kDateWidth;
      f.precision = 0;
    } else {
      Fail("unknown field type '" + type + "' (Integer, Real, String or Date)");
    }
    fields.push_back(std::move(f));
  }

  void ParseEnd(const std::vector<std::string>& w) {
    ExpectWords(w, 1, 1, "end");
    if (m_block == Block::None) Fail("'end' without a featureclass, table or vat section");
    const std::vector<Field>& fields = CurrentFields();
    if (fields.empty())
      Fail("'" + m_blockKeyword + "' (line " + std::to_string(m_blockLine) + ") has no fields");
    if (m_block == Block::FeatureClass) {
      auto comid = std::find_if(fields.begin(), fields.end(),
                                [](const Field& f) { return f.name == "Comid"; });
      if (comid == fields.end())
        Fail("'" + m_blockKeyword + "' (line " + std::to_string(m_blockLine) +
             ") has no Comid field");
      if (comid->type != FieldType::Integer)
        Fail("'" + m_blockKeyword + "' (line " + std::to_string(m_blockLine) +
             "): Comid must be Integer");
    }
    m_block = Block::None;
  }

  std::string m_origin;
  int m_line = 0;
  Schema m_schema;
  Block m_block = Block::None;
  std::string m_blockKeyword;
  int m_blockLine = 0;
  std::optional<int> m_epsgLine;
  std::optional<int> m_vatLine;
};

}  // namespace

Schema LoadSchema(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw AppError(kErrFileNotFound, "Cannot open the schema file: " + file.string());
  Schema schema = Parser(file.string()).Parse(in);
  if (in.bad()) throw AppError(kErrPathFileAccess, "Cannot read the schema file: " + file.string());
  return schema;
}

Schema ParseSchema(std::string_view text, const std::string& origin) {
  std::istringstream in{std::string(text)};
  return Parser(origin).Parse(in);
}

const FeatureClass& FindFeatureClass(const Schema& schema, const std::string& name) {
  for (const auto& fc : schema.featureClasses) {
    if (fc.name == name || (!fc.folder.empty() && fc.folder + "/" + fc.name == name)) return fc;
  }
  throw AppError(kErrInvalidArgument, "The workspace schema has no feature class " + name);
}

const Table& FindTable(const Schema& schema, const std::string& name) {
  for (const auto& t : schema.tables) {
    if (t.name == name) return t;
  }
  throw AppError(kErrInvalidArgument, "The workspace schema has no table " + name);
}

const Grid& FindGrid(const Schema& schema, const std::string& name) {
  for (const auto& g : schema.grids) {
    if (g.name == name) return g;
  }
  throw AppError(kErrInvalidArgument, "The workspace schema has no grid " + name);
}

std::vector<std::string> WorkspaceFolders(const Schema& schema) {
  std::vector<std::string> folders;
  const auto add = [&](const std::string& path) {
    if (path.empty()) return;
    const std::string top = path.substr(0, path.find('/'));
    if (std::none_of(folders.begin(), folders.end(),
                     [&](const auto& f) { return SameName(f, top); }))
      folders.push_back(top);
  };
  for (const auto& g : schema.grids) add(g.folder);
  for (const auto& fc : schema.featureClasses) add(fc.folder);
  return folders;
}

}  // namespace rivanet::schema
