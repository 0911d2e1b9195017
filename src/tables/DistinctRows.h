#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tables/TableStage.h"

namespace rivanet::tables {

// The SELECT DISTINCT of one append: the rows offered pass on once each, the first time a row
// equal to them comes, in the order they come. Each row is kept in a table of the scratch
// database as its RowKey under a 64-bit hash of it: a hash already taken is a repeat only when
// the kept key is the same bytes, else the row takes the next free number. The rows go into the
// table in groups through one statement each, because a statement's run costs as much as the
// insert itself; a group that the table did not take whole is sorted out row by row. The table
// is dropped with the object.
class DistinctRows {
 public:
  using Hash = std::function<std::uint64_t(const std::string& key)>;
  // `pass` receives each distinct row, in order. Any `hash` gives the same rows (a poor one only
  // makes the work slower).
  DistinctRows(TableStage& stage, std::function<void(SqlRow&&)> pass,
               Hash hash = std::hash<std::string>{});
  ~DistinctRows();
  DistinctRows(const DistinctRows&) = delete;
  DistinctRows& operator=(const DistinctRows&) = delete;

  void Offer(SqlRow row);
  // Passes on what is still waiting; call it after the last row.
  void Finish();

 private:
  struct Waiting {
    SqlRow row;
    std::string key;
    std::int64_t hash = 0;
    std::int64_t number = 0;  // the row's place among all rows offered
  };

  void Flush();
  // True when the row is new: it then holds a number of the table, found from its hash on.
  bool Place(const Waiting& w);
  bool Insert(std::int64_t at, const Waiting& w);

  TableStage& m_stage;
  std::function<void(SqlRow&&)> m_pass;
  Hash m_hash;
  std::string m_name;
  std::optional<db::Statement> m_insertGroup;
  std::optional<db::Statement> m_insertOne;
  std::optional<db::Statement> m_lookup;
  std::vector<Waiting> m_waiting;
  std::int64_t m_offered = 0;
};

}  // namespace rivanet::tables
