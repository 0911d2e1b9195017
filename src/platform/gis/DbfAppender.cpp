#include "platform/gis/DbfAppender.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <system_error>

#include "platform/Text.h"
#include "platform/files/FileSystem.h"
#include "platform/gis/DbfCheck.h"
#include "platform/gis/DbfInternals.h"
#include "platform/gis/DbfRowWriter.h"
#include "platform/gis/FileHeaders.h"
#include "platform/gis/GridFolder.h"

namespace fs = std::filesystem;

namespace rivanet::gis {
namespace {

constexpr const char* kWriting = "Cannot append to table";

void RefuseReadOnly(const fs::path& table) {
  std::error_code ec;
  const fs::file_status status = fs::status(table, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(table));
  if (!fs::is_regular_file(status)) throw FileError(kErrFileNotFound, "Table not found", table);
  constexpr fs::perms kWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((status.permissions() & kWrite) == fs::perms::none)
    throw FileError(kErrPermissionDenied, "The table is read-only", table);
}

// Names in `folder`, for a case-blind search: the folder may come from a system that does
// not tell "Table.CPG" from "table.cpg".
std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(folder));
  return names;
}

// The folder beside the table that holds the copy being appended to. Its name is the
// program's own, so one that a killed run left behind can be removed without a doubt that it
// could be anything of the user's.
fs::path CopyFolderFor(const fs::path& table) {
  return table.parent_path() / (".RivanetAppend-appending-" + table.stem().string());
}

// Removes what an earlier, killed appender of the table left behind. A link in the folder's
// place is removed, never followed.
void RemoveLeftovers(const fs::path& folder) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(folder, ec);
  if (!fs::exists(status)) return;
  fs::remove_all(folder, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(folder));
}

// GDAL does not always say when its last writes failed, and then leaves a header of zeros
// behind (it reads the header back to update it and takes the failed read as zeros). A copy
// is put in the table's place only when its header is the table's own with `records` records
// and the file holds them all.
void RequireWhole(const fs::path& copy, const DbfHeader& own, std::uint64_t records,
                  const fs::path& table) {
  const DbfHeader written = ReadDbfHeader(copy);
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(copy, ec);
  if (ec || written != DbfHeader{records, own.headerBytes, own.recordBytes} || size < written.End())
    throw FileError(kErrInvalidArgument,
                    "The new rows could not all be written (the disk may be full); the table is "
                    "left as it was",
                    table);
}

void CopyOrThrow(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::copy_file(from, to, fs::copy_options::none, ec) || ec)
    throw AppError::FromErrno(ec ? ec.value() : EEXIST, DisplayPath(to));
}

}  // namespace

struct DbfAppender::Impl {
  fs::path table;
  fs::path copyFolder;  // empty until made
  fs::path copyDbf;
  fs::path copyCpg;  // empty when the table has no .cpg
  OpenTable open;
  std::unique_ptr<DbfRowWriter> writer;
  DbfTextWidth text = DbfTextWidth::Utf8Bytes;
  std::int64_t added = 0;
  DbfHeader own;  // the table's own header: its lengths, and its records (deleted ones included)
  bool committed = false;

  // Puts the copy in the table's place, holding the table's own rows and the first
  // `keep` rows added (all of them when `keep` is none). Throws, the table left as it was,
  // when the copy does not hold them whole.
  void PutInPlace(std::optional<std::int64_t> keep);
};

DbfAppender::DbfAppender(const fs::path& table) : m_impl(std::make_unique<Impl>()) {
  Impl& m = *m_impl;
  m.table = table;
  RefuseReadOnly(table);
  CheckDbfFile(table);

  const fs::path folder = table.parent_path();
  const std::vector<std::string> names = FolderNames(folder);
  const std::string stem = table.stem().string();
  std::string cpg;
  for (const auto& name : names)
    if (SameIgnoringCase(name, stem + ".cpg")) cpg = name;

  // The copy sits in a folder of its own beside the table: on the same file system, so that
  // Commit's rename is atomic, and apart from every file of the user's.
  const fs::path copies = CopyFolderFor(table);
  RemoveLeftovers(copies);
  std::error_code ec;
  if (!fs::create_directory(copies, ec))
    throw AppError::FromErrno(ec ? ec.value() : EEXIST, DisplayPath(copies));
  m.copyFolder = copies;
  m.copyDbf = copies / (stem + ".dbf");
  CopyOrThrow(table, m.copyDbf);
  m.own = ReadDbfHeader(m.copyDbf);
  if (!cpg.empty()) {
    m.copyCpg = copies / (stem + ".cpg");
    CopyOrThrow(folder / cpg, m.copyCpg);
  }
  const QuietGdal quiet;
  m.open = OpenDbf(m.copyDbf, true);
  m.text = TextWidthFor(m.open.encoding);
  m.writer = std::make_unique<DbfRowWriter>(m.open, m.text, m.table);
}

DbfAppender::~DbfAppender() {
  Impl& m = *m_impl;
  m.writer.reset();  // the writer's thread ends before the table closes
  if (m.committed) return;
  {
    const QuietGdal quiet;
    m.open.dataset.reset();
  }
  if (!m.copyFolder.empty()) {
    std::error_code ec;
    fs::remove_all(m.copyFolder, ec);
  }
}

const std::vector<DbfField>& DbfAppender::Fields() const { return m_impl->open.fields; }

DbfTextWidth DbfAppender::TextWidth() const { return m_impl->text; }

std::int64_t DbfAppender::Added() const { return m_impl->added; }

void DbfAppender::Add(DbfRow row) {
  Impl& m = *m_impl;
  if (row.size() != m.open.fields.size())
    throw FileError(kErrInvalidArgument,
                    "A new row has " + std::to_string(row.size()) + " values for " +
                        std::to_string(m.open.fields.size()) + " fields",
                    m.table);
  m.writer->Add(std::move(row));
  ++m.added;
}

void DbfAppender::Commit() {
  Impl& m = *m_impl;
  m.writer->Finish();
  m.writer.reset();
  m.PutInPlace(std::nullopt);
}

bool DbfAppender::CommitFirst(std::int64_t rows) {
  Impl& m = *m_impl;
  // After a failed write the copy is not to be trusted at all.
  const bool written = m.writer->FinishQuietly();
  m.writer.reset();
  if (!written) return false;
  m.PutInPlace(rows);
  return true;
}

void DbfAppender::Impl::PutInPlace(std::optional<std::int64_t> keep) {
  {
    const QuietGdal quiet;
    const OGRFeatureDefn& defn = *open.layer->GetLayerDefn();
    for (int i = 0; i < defn.GetFieldCount(); ++i)
      if (defn.GetFieldDefn(i)->GetWidth() != open.fields[i].width &&
          open.fields[i].type != DbfType::Date)
        throw FileError(
            kErrOverflow,
            "Field \"" + open.fields[i].name + "\" would have been widened to hold the new rows",
            table);
    CloseDataset(open.dataset, kWriting, table);
  }
  RequireWhole(copyDbf, own, own.records + static_cast<std::uint64_t>(added), table);
  // GDAL was told not to keep writing the end-of-file mark; it goes on once, here.
  if (keep)
    CutDbfToRecords(copyDbf, own.records + static_cast<std::uint64_t>(*keep));
  else
    EndDbfWithMark(copyDbf);
  std::error_code ec;
  fs::rename(copyDbf, table, ec);
  if (ec) throw AppError::FromErrno(ec.value(), DisplayPath(table));
  committed = true;
  fs::remove_all(copyFolder, ec);
}

}  // namespace rivanet::gis
