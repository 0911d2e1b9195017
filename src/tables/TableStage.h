#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/database/Database.h"
#include "tables/RowMapping.h"

namespace rivanet::tables {

// A table held in the scratch database: a column per field of the dBASE table it stands for,
// its rows in the order they were added.
struct StagedTable {
  std::string name;  // the SQL name the stage gave it
  std::size_t columns = 0;
};

// The scratch database in which the table phase does its set logic: the DISTINCT of each append
// is a key set here (DistinctRows.h), and the Work folder's tables are kept here between the
// appends into them and the appends out of them. Both live on disk, so memory stays bounded
// whatever the size of the tables. The file belongs to the program (it lies in the Work folder,
// under a name nothing else uses) and is removed when the stage ends.
class TableStage {
 public:
  // Creates the database `file`, which must not exist yet.
  explicit TableStage(const std::filesystem::path& file);
  ~TableStage();
  TableStage(const TableStage&) = delete;
  TableStage& operator=(const TableStage&) = delete;

  db::Connection& Db() { return m_db; }

  StagedTable Create(std::size_t columns);
  void Drop(const StagedTable& table);

  // Adds rows to one staged table through one prepared statement.
  class Inserter {
   public:
    Inserter(TableStage& stage, const StagedTable& table);
    void Insert(const SqlRow& row);

   private:
    db::Statement m_insert;
    std::size_t m_columns;
  };

  // Reads the rows of a staged table in order. Other tables may change while it reads.
  class Cursor {
   public:
    Cursor(TableStage& stage, const StagedTable& table);
    // The next row into `row`; false after the last.
    bool Next(SqlRow& row);

   private:
    db::Statement m_select;
    std::size_t m_columns;
  };

  // A name for a new table of the stage, unquoted.
  std::string NewTableName();

 private:
  std::filesystem::path m_file;
  db::Connection m_db;
  int m_tables = 0;
};

}  // namespace rivanet::tables
