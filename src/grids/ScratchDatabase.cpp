#include "grids/ScratchDatabase.h"

#include <string>

#include "platform/Error.h"
#include "platform/database/Database.h"
#include "platform/files/FileSystem.h"
#include "runctl/RunContext.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

// The join matches on the value; the import table's row order (its rowid) is the list order,
// so that the first workspace's row of a value comes first.
constexpr const char* kJoin =
    "SELECT V.myValue AS myValue, E.Comid AS Comid, E.Prod_unit AS Prod_unit "
    "FROM tblVat V, tblImport E "
    "WHERE V.myValue = E.myValue "
    "ORDER BY V.myValue, E.rowid;";

}  // namespace

ScratchDatabase::ScratchDatabase(const RunContext& ctx)
    : m_skeleton(ctx.appFolder / "VatWorkSkel.mdb") {
  const fs::path work = ctx.appFolder / "VatWork.mdb";
  // A run stopped in mid-transaction leaves its rollback journal beside the database; SQLite
  // would play that journal back into the fresh copy. It belongs to a database that is being
  // replaced, so it goes first.
  for (const char* side : {"-journal", "-wal", "-shm"}) {
    const fs::path stale = ctx.appFolder / (std::string("VatWork.mdb") + side);
    if (ctx.files.FileExists(stale)) ctx.files.DeleteFile(stale);
  }
  ctx.files.CopyFile(m_skeleton, work);
  m_db = std::make_unique<db::Connection>(work, db::OpenMode::ReadWrite);
  try {
    for (const char* table : {"tblImport", "tblVat"}) {
      db::Statement count = m_db->Prepare(std::string("SELECT COUNT(*) FROM ") + table + ";");
      if (count.Step() && count.Int64(0) > 0)
        throw AppError(kErrInvalidArgument,
                       std::string(table) + " holds rows already; it must start empty");
    }
    m_import = std::make_unique<db::Statement>(
        m_db->Prepare("INSERT INTO tblImport (myValue, Comid, Prod_unit) VALUES (?, ?, ?);"));
    m_vat =
        std::make_unique<db::Statement>(m_db->Prepare("INSERT INTO tblVat (myValue) VALUES (?);"));
  } catch (const AppError& e) {
    throw AppError(e.Number(),
                   "The scratch database skeleton " + DisplayPath(m_skeleton) +
                       " cannot be used: " + e.Description(),
                   e.Scheme());
  }
}

ScratchDatabase::~ScratchDatabase() = default;

void ScratchDatabase::Begin() {
  if (m_inTransaction) return;
  m_db->Execute("BEGIN;");
  m_inTransaction = true;
}

void ScratchDatabase::Import(std::int64_t value, std::optional<std::int64_t> comid,
                             const std::optional<std::string>& prodUnit) {
  Begin();
  m_import->Reset();
  m_import->Bind(1, value);
  comid ? m_import->Bind(2, *comid) : m_import->BindNull(2);
  prodUnit ? m_import->Bind(3, std::string_view(*prodUnit)) : m_import->BindNull(3);
  m_import->Step();
}

void ScratchDatabase::AddVatValue(std::int64_t value) {
  Begin();
  m_vat->Reset();
  m_vat->Bind(1, value);
  m_vat->Step();
}

void ScratchDatabase::Commit() {
  if (!m_inTransaction) return;
  m_db->Execute("COMMIT;");
  m_inTransaction = false;
}

void ScratchDatabase::StartJoin() {
  Commit();
  m_join = std::make_unique<db::Statement>(m_db->Prepare(kJoin));
}

bool ScratchDatabase::NextJoinRow(JoinRow& row) {
  if (!m_join->Step()) return false;
  row.value = m_join->Int64(0);
  row.comid.reset();
  row.prodUnit.reset();
  if (m_join->Type(1) != db::ColumnType::Null) row.comid = m_join->Int64(1);
  if (m_join->Type(2) != db::ColumnType::Null) row.prodUnit = m_join->Text(2);
  return true;
}

void ScratchDatabase::Close() {
  m_join.reset();
  m_import.reset();
  m_vat.reset();
  Commit();
  m_db->Close();
}

}  // namespace rivanet
