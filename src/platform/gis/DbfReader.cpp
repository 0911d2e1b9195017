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

// Tables that name ISO-8859-1 (a .cpg, or the header's mark of a Windows table) are written on
// Windows, in Windows-1252: its characters 0x80 to 0x9F (the euro sign, typographic quotes,
// dashes) read as the control characters U+0080 to U+009F in ISO-8859-1, as no real text holds
// them. They are read as Windows-1252 instead. The five bytes Windows-1252 leaves undefined
// have no character: false.
bool Latin1ControlsAsWindows1252(std::string& text) {
  static constexpr char16_t kWindows1252[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::size_t at = text.find('\xC2');
  if (at == std::string::npos) return true;  // the usual case: nothing to look at
  std::string out(text, 0, at);
  for (; at < text.size(); ++at) {
    const auto next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0U;
    if (text[at] != '\xC2' || next < 0x80 || next > 0x9F) {
      out.push_back(text[at]);
      continue;
    }
    const char16_t c = kWindows1252[next - 0x80];
    if (c == 0) return false;
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    ++at;
  }
  text = std::move(out);
  return true;
}

bool IsLatin1(const std::string& encoding) {
  std::string bare;
  for (const char c : encoding)
    if (c != '-' && c != '_') bare.push_back(c);
  return SameIgnoringCase(bare, "ISO88591");
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
