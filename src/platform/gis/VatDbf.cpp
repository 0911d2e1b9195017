#include "platform/gis/VatDbf.h"

#include <cpl_vsi.h>

#include <atomic>
#include <random>
#include <system_error>

#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/DbfCheck.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {

VatValue ValueOf(const OGRFeature& row, int i, const VatField& field) {
  if (!row.IsFieldSetAndNotNull(i)) return {};
  switch (field.type) {
    case DbfType::Integer:
      return std::int64_t{row.GetFieldAsInteger64(i)};
    case DbfType::Real:
      return row.GetFieldAsDouble(i);
    case DbfType::String:
    case DbfType::Date:
      break;
  }
  return std::string(row.GetFieldAsString(i));
}

void SetValue(OGRFeature& row, int i, const VatField& field, const VatValue& value) {
  if (const auto* n = std::get_if<std::int64_t>(&value)) {
    if (field.type == DbfType::Real)
      row.SetField(i, static_cast<double>(*n));
    else
      row.SetField(i, static_cast<GIntBig>(*n));
  } else if (const auto* d = std::get_if<double>(&value)) {
    if (field.type == DbfType::Integer)
      row.SetField(i, static_cast<GIntBig>(*d));  // integral: checked before writing
    else
      row.SetField(i, *d);
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    if (field.type == DbfType::Date) {
      const DbfDate date = *ParseDbfDate(*s);  // checked before writing
      row.SetField(i, date.year, date.month, date.day);
    } else {
      row.SetField(i, s->c_str());
    }
  } else {
    row.SetFieldNull(i);
  }
}

fs::path VatDbfOf(const fs::path& gridFolder) {
  const GridFolder grid = FindGridFolder(gridFolder);
  return MakeFileSystem()->Resolve(grid.folder / (grid.name + ".tif.vat.dbf"));
}

namespace {

// A name no other table uses, in this process or another.
std::string UniqueToken() {
  static const unsigned processToken = std::random_device{}();
  static std::atomic<unsigned> counter{0};
  return std::to_string(processToken) + "-" + std::to_string(++counter);
}

std::string CpgOf(const std::string& dbf) { return dbf.substr(0, dbf.size() - 4) + ".cpg"; }

bool VsiExists(const std::string& path) {
  VSIStatBufL stat;
  return VSIStatL(path.c_str(), &stat) == 0;
}

void VsiCopy(const std::string& from, const std::string& to, const fs::path& subject) {
  CPLErrorReset();
  if (CPLCopyFile(to.c_str(), from.c_str()) != 0) throw GdalError("Cannot copy table", subject);
}

}  // namespace

MemoryTable::MemoryTable(const fs::path& dbf)
    : m_folder("/vsimem/rivanet-table-" + UniqueToken()),
      m_dbf(m_folder + "/" + dbf.filename().string()) {
  if (m_dbf.size() < 4 || !SameIgnoringCase(m_dbf.substr(m_dbf.size() - 4), ".dbf"))
    m_dbf += ".dbf";
  VSIMkdir(m_folder.c_str(), 0755);
}

MemoryTable MemoryTable::Load(const fs::path& dbf) {
  // GDAL's dBASE driver trusts the header: a record count far beyond the file's end makes it
  // crash while opening the table, and one cut short reads as fewer rows. Only a table whose
  // header and values hold together is read.
  CheckDbfFile(dbf);
  MemoryTable table(dbf);
  VsiCopy(dbf.string(), table.m_dbf, dbf);
  const std::string cpg = CpgOf(dbf.string());
  if (VsiExists(cpg)) VsiCopy(cpg, CpgOf(table.m_dbf), dbf);
  return table;
}

MemoryTable::MemoryTable(MemoryTable&& other) noexcept
    : m_folder(std::move(other.m_folder)), m_dbf(std::move(other.m_dbf)) {
  other.m_folder.clear();
}

MemoryTable::~MemoryTable() {
  if (!m_folder.empty()) VSIRmdirRecursive(m_folder.c_str());
}

DatasetPtr MemoryTable::Open(bool update, const fs::path& dbf) const {
  try {
    return OpenShapefile(m_dbf, update, "Cannot open value attribute table");
  } catch (const AppError& e) {
    std::string text = e.Description();
    const std::string shown = DisplayPath(dbf);
    for (auto at = text.find(m_dbf); at != std::string::npos;
         at = text.find(m_dbf, at + shown.size()))
      text.replace(at, m_dbf.size(), shown);
    throw AppError(e.Number(), text, e.Scheme());
  }
}

void MemoryTable::Save(const fs::path& dbf) const {
  const std::string cpg = CpgOf(m_dbf);
  const bool hasCpg = VsiExists(cpg);
  const fs::path tempDbf = dbf.parent_path() / ("rivanet-table-" + UniqueToken() + ".dbf");
  const fs::path tempCpg = fs::path(CpgOf(tempDbf.string()));
  struct Cleanup {
    const fs::path& a;
    const fs::path& b;
    ~Cleanup() {
      std::error_code ec;
      fs::remove(a, ec);
      fs::remove(b, ec);
    }
  } cleanup{tempDbf, tempCpg};
  VsiCopy(m_dbf, tempDbf.string(), dbf);
  if (hasCpg) VsiCopy(cpg, tempCpg.string(), dbf);
  std::error_code ec;
  fs::rename(tempDbf, dbf, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(dbf));
  if (hasCpg) {
    const fs::path target = fs::path(CpgOf(dbf.string()));
    fs::rename(tempCpg, target, ec);
    if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(target));
  }
}

}  // namespace rivanet::gis
