#include "platform/gis/VatCursor.h"

#include <optional>
#include <system_error>

#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/GridFolder.h"
#include "platform/gis/VatDbf.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

fs::path ExistingVat(const fs::path& gridFolder) {
  const fs::path dbf = VatDbfOf(gridFolder);
  std::error_code ec;
  if (!fs::is_regular_file(dbf, ec))
    throw FileError(kErrFileNotFound, "Grid has no value attribute table", dbf);
  return dbf;
}

OGRLayer& TableLayer(GDALDataset& ds, const fs::path& dbf) {
  OGRLayer* layer = ds.GetLayerCount() > 0 ? ds.GetLayer(0) : nullptr;
  if (layer == nullptr) throw FileError(kErrInvalidArgument, "Not a dBASE table", dbf);
  return *layer;
}

}  // namespace

struct VatCursor::Impl {
  fs::path dbf;  // for messages: the table itself, also while a copy is changed
  bool update = false;
  std::optional<MemoryTable> copy;  // the table as read, and changed in Update mode
  DatasetPtr ds;
  OGRLayer* layer = nullptr;
  std::vector<VatField> fields;
  int valueField = -1;
  FeaturePtr row;
  std::int64_t rowNumber = 0;
  std::int64_t value = 0;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    QuietGdal quiet;
    row.reset();
    ds.reset();  // before the copy goes
  }
  std::string Where() const { return "Row " + std::to_string(rowNumber); }
};

VatCursor::VatCursor(const fs::path& gridFolder, Mode mode) : m_impl(std::make_unique<Impl>()) {
  QuietGdal quiet;
  Impl& c = *m_impl;
  c.dbf = ExistingVat(gridFolder);
  c.update = mode == Mode::Update;
  c.copy.emplace(MemoryTable::Load(c.dbf));
  c.ds = c.copy->Open(c.update, c.dbf);
  c.layer = &TableLayer(*c.ds, c.dbf);
  const OGRFeatureDefn& defn = *c.layer->GetLayerDefn();
  for (int i = 0; i < defn.GetFieldCount(); ++i)
    c.fields.push_back(DbfFieldOf(*defn.GetFieldDefn(i)));
  c.valueField = FindField("Value");
  if (c.valueField < 0)
    throw FileError(kErrInvalidArgument, "Value attribute table has no Value field", c.dbf);
  c.layer->ResetReading();
}

VatCursor::~VatCursor() = default;

const std::vector<VatField>& VatCursor::Fields() const { return m_impl->fields; }

int VatCursor::FindField(const std::string& name) const {
  for (std::size_t i = 0; i < m_impl->fields.size(); ++i)
    if (SameIgnoringCase(m_impl->fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

bool VatCursor::Next() {
  Impl& c = *m_impl;
  if (!c.ds) return false;
  QuietGdal quiet;
  CPLErrorReset();
  c.row.reset(c.layer->GetNextFeature());
  if (!c.row) {
    if (GdalFailed()) throw GdalError("Cannot read value attribute table", c.dbf);
    return false;
  }
  ++c.rowNumber;
  std::int64_t value = 0;
  try {
    value = VatInteger(Get(c.valueField));
  } catch (const AppError&) {
    throw FileError(kErrInvalidArgument, c.Where() + " has no integer Value", c.dbf);
  }
  if (c.rowNumber > 1 && value < c.value)
    throw FileError(kErrInvalidArgument,
                    c.Where() + ": Value " + std::to_string(value) + " after " +
                        std::to_string(c.value) + " (the rows are not in ascending Value order)",
                    c.dbf);
  c.value = value;
  return true;
}

std::int64_t VatCursor::Value() const { return m_impl->value; }

VatValue VatCursor::Get(int field) const {
  const Impl& c = *m_impl;
  if (!c.row || field < 0 || field >= static_cast<int>(c.fields.size()))
    throw FileError(kErrSubscriptOutOfRange, "No such row or field", c.dbf);
  return ValueOf(*c.row, field, c.fields[field]);
}

void VatCursor::Set(int field, const VatValue& value) {
  Impl& c = *m_impl;
  if (!c.update)
    throw FileError(kErrPermissionDenied, "Value attribute table opened for reading", c.dbf);
  if (!c.row || field < 0 || field >= static_cast<int>(c.fields.size()))
    throw FileError(kErrSubscriptOutOfRange, "No such row or field", c.dbf);
  if (const auto problem = FieldValueProblem(c.fields[field], value))
    throw FileError(kErrOverflow, c.Where() + ": " + *problem, c.dbf);
  SetValue(*c.row, field, c.fields[field], value);
}

void VatCursor::UpdateRow() {
  Impl& c = *m_impl;
  if (!c.update)
    throw FileError(kErrPermissionDenied, "Value attribute table opened for reading", c.dbf);
  if (!c.row) throw FileError(kErrSubscriptOutOfRange, "No row to update", c.dbf);
  QuietGdal quiet;
  CPLErrorReset();
  if (c.layer->SetFeature(c.row.get()) != OGRERR_NONE)
    throw GdalWriteError("Cannot write value attribute table row", c.dbf);
}

void VatCursor::Flush() {
  Impl& c = *m_impl;
  QuietGdal quiet;
  c.row.reset();
  if (!c.ds) return;
  if (!c.update) {
    c.ds.reset();
    c.copy.reset();
    return;
  }
  CloseDataset(c.ds, "Cannot write value attribute table", c.dbf);
  c.copy->Save(c.dbf);
  c.copy.reset();
}

void AddVatField(const fs::path& gridFolder, const VatField& field) {
  QuietGdal quiet;
  const fs::path dbf = ExistingVat(gridFolder);
  if (const auto problem = FieldDefinitionProblem(field))
    throw FileError(kErrInvalidArgument, *problem, dbf);
  const MemoryTable copy = MemoryTable::Load(dbf);
  DatasetPtr ds = copy.Open(true, dbf);
  OGRLayer& layer = TableLayer(*ds, dbf);
  const OGRFeatureDefn& defn = *layer.GetLayerDefn();
  for (int i = 0; i < defn.GetFieldCount(); ++i)
    if (SameIgnoringCase(defn.GetFieldDefn(i)->GetNameRef(), field.name))
      throw FileError(kErrFileAlreadyExists,
                      "Value attribute table already has a field " + field.name, dbf);
  AddField(layer, field, dbf);
  CloseDataset(ds, "Cannot write value attribute table", dbf);
  copy.Save(dbf);
}

}  // namespace rivanet::gis
