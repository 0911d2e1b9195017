#include "platform/gis/DbfReader.h"

#include "platform/gis/DbfCheck.h"
#include "platform/gis/DbfInternals.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

void SetText(DbfValue& value, const char* text) {
  // Reuses the string a row's value already holds: a table is read a row into the same vector.
  if (auto* s = std::get_if<std::string>(&value))
    s->assign(text);
  else
    value.emplace<std::string>(text);
}

// YYYY/MM/DD, as the GIS library writes dates as text everywhere.
void SetDate(DbfValue& value, const OGRField& raw) {
  char text[11];
  const auto put = [&](int at, int number, int digits) {
    for (int i = digits - 1; i >= 0; --i, number /= 10)
      text[at + i] = static_cast<char>('0' + number % 10);
  };
  put(0, raw.Date.Year, 4);
  text[4] = '/';
  put(5, raw.Date.Month, 2);
  text[7] = '/';
  put(8, raw.Date.Day, 2);
  text[10] = '\0';
  SetText(value, text);
}

}  // namespace

struct DbfReader::Impl {
  fs::path file;
  OpenTable table;
  std::int64_t record = 0;
};

DbfReader::DbfReader(const fs::path& file) : m_impl(std::make_unique<Impl>()) {
  m_impl->file = file;
  CheckDbfFile(file);
  const QuietGdal quiet;
  m_impl->table = OpenDbf(file, false);
  m_impl->table.layer->ResetReading();
}

DbfReader::~DbfReader() = default;

const fs::path& DbfReader::File() const { return m_impl->file; }

const std::vector<DbfField>& DbfReader::Fields() const { return m_impl->table.fields; }

const std::string& DbfReader::Encoding() const { return m_impl->table.encoding; }

std::int64_t DbfReader::RecordNumber() const { return m_impl->record; }

bool DbfReader::Next(DbfRow& row) {
  const QuietGdal quiet;
  OpenTable& table = m_impl->table;
  CPLErrorReset();
  const FeaturePtr feature(table.layer->GetNextFeature());
  // GDAL warns about text it cannot convert from the table's code page, among other things
  // that would change a value on its way: any of them refuses the table.
  if (auto message = quiet.FirstMessage("Cannot read table", m_impl->file)) throw *message;
  if (!feature) {
    if (GdalFailed()) throw GdalError("Cannot read table", m_impl->file);
    return false;
  }
  m_impl->record = feature->GetFID() + 1;
  const int count = static_cast<int>(table.fields.size());
  row.resize(table.fields.size());
  for (int i = 0; i < count; ++i) {
    DbfValue& value = row[i];
    if (!feature->IsFieldSetAndNotNull(i)) {
      value = std::monostate{};
      continue;
    }
    const OGRField& raw = *feature->GetRawFieldRef(i);
    switch (table.types[i]) {
      case OFTInteger:
        value = std::int64_t{raw.Integer};
        break;
      case OFTInteger64:
        value = std::int64_t{raw.Integer64};
        break;
      case OFTReal:
        value = raw.Real;
        break;
      case OFTString:
        SetText(value, raw.String);
        break;
      case OFTDate:
        SetDate(value, raw);
        break;
      default:
        SetText(value, feature->GetFieldAsString(i));
        break;
    }
  }
  return true;
}

}  // namespace rivanet::gis
