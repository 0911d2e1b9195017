#include "tables/DistinctRows.h"

#include "platform/Error.h"

namespace rivanet::tables {
namespace {

constexpr std::size_t kGroup = 64;

std::string Values(std::size_t rows) {
  std::string values;
  for (std::size_t i = 0; i < rows; ++i) values += i > 0 ? ", (?, ?, ?)" : "(?, ?, ?)";
  return values;
}

}  // namespace

DistinctRows::DistinctRows(TableStage& stage, std::function<void(SqlRow&&)> pass, Hash hash)
    : m_stage(stage),
      m_pass(std::move(pass)),
      m_hash(std::move(hash)),
      m_name(db::QuoteIdentifier(stage.NewTableName())) {
  db::Connection& db = m_stage.Db();
  // The hash is the rowid: the B-tree is searched by integers, not by whole rows.
  db.Execute("CREATE TABLE " + m_name + " (h INTEGER PRIMARY KEY, n INTEGER, k BLOB)");
  const std::string insert = "INSERT OR IGNORE INTO " + m_name + " VALUES ";
  m_insertGroup = db.Prepare(insert + Values(kGroup));
  m_insertOne = db.Prepare(insert + Values(1));
  m_lookup = db.Prepare("SELECT n, k FROM " + m_name + " WHERE h = ?");
  m_waiting.reserve(kGroup);
}

DistinctRows::~DistinctRows() {
  m_insertGroup.reset();
  m_insertOne.reset();
  m_lookup.reset();
  try {
    m_stage.Db().Execute("DROP TABLE " + m_name);
  } catch (const AppError&) {
    // Only after a failure that has rolled the append back, table included.
  }
}

void DistinctRows::Offer(SqlRow row) {
  Waiting w{std::move(row), {}, 0, ++m_offered};
  w.key = RowKey(w.row);
  w.hash = static_cast<std::int64_t>(m_hash(w.key));
  m_waiting.push_back(std::move(w));
  if (m_waiting.size() == kGroup) Flush();
}

void DistinctRows::Finish() { Flush(); }

void DistinctRows::Flush() {
  bool whole = false;
  if (m_waiting.size() == kGroup) {
    int at = 0;
    for (const Waiting& w : m_waiting) {
      m_insertGroup->Bind(++at, w.hash);
      m_insertGroup->Bind(++at, w.number);
      m_insertGroup->BindBlob(++at, w.key);
    }
    m_insertGroup->Step();
    m_insertGroup->Reset();
    whole = m_stage.Db().Changes() == static_cast<std::int64_t>(kGroup);
  }
  for (Waiting& w : m_waiting)
    if (whole || Place(w)) m_pass(std::move(w.row));
  m_waiting.clear();
}

bool DistinctRows::Place(const Waiting& w) {
  for (std::int64_t at = w.hash;;
       at = static_cast<std::int64_t>(static_cast<std::uint64_t>(at) + 1)) {
    m_lookup->Bind(1, at);
    if (!m_lookup->Step()) {
      m_lookup->Reset();
      if (Insert(at, w)) return true;
      continue;  // taken meanwhile: cannot happen, but then look again
    }
    const std::int64_t number = m_lookup->Int64(0);
    const bool sameKey = m_lookup->Text(1) == w.key;
    m_lookup->Reset();
    // The group put this very row here, or an equal row came before it.
    if (sameKey) return number == w.number;
  }
}

bool DistinctRows::Insert(std::int64_t at, const Waiting& w) {
  m_insertOne->Bind(1, at);
  m_insertOne->Bind(2, w.number);
  m_insertOne->BindBlob(3, w.key);
  m_insertOne->Step();
  m_insertOne->Reset();
  return m_stage.Db().Changes() > 0;
}

}  // namespace rivanet::tables
