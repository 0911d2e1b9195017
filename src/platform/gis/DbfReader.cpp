#include "platform/gis/DbfReader.h"

#include "platform/Text.h"
#include "platform/gis/DbfCheck.h"
#include "platform/gis/DbfInternals.h"
#include "platform/gis/GridFolder.h"

#include <cpl_string.h>

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
  bool latin1 = false;  // see Latin1ControlsAsWindows1252
};

DbfReader::DbfReader(const fs::path& file) : m_impl(std::make_unique<Impl>()) {
  m_impl->file = file;
  CheckDbfFile(file);
  const QuietGdal quiet;
  m_impl->table = OpenDbf(file, false);
  m_impl->table.layer->ResetReading();
  m_impl->latin1 = IsLatin1(m_impl->table.encoding);
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
        // Text GDAL could not convert (bytes of another code page than the table names, or
        // of one it does not know) would reach the UTF-8 output as it stands.
        SetText(value, raw.String);
        if (!CPLIsUTF8(raw.String, -1) ||
            (m_impl->latin1 && !Latin1ControlsAsWindows1252(std::get<std::string>(value))))
          throw FileError(kErrInvalidArgument,
                          "Row " + std::to_string(m_impl->record) + ", field \"" +
                              table.fields[static_cast<std::size_t>(i)].name +
                              "\": the text is not written in the table's code page (" +
                              (table.encoding.empty()
                                   ? std::string("the table names none: no .cpg file, no code "
                                                 "page in its header")
                                   : table.encoding) +
                              ")",
                          m_impl->file);
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
