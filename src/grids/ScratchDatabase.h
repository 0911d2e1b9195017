#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace rivanet {

struct RunContext;

namespace db {
class Connection;
class Statement;
}  // namespace db

// The scratch database the catchment grid's attributes are joined in: VatWork.mdb, a fresh copy
// of VatWorkSkel.mdb from the application folder at every run, with the tables tblImport
// (myValue, Comid, Prod_unit: the rows of every input catchment grid's value attribute table,
// in list order) and tblVat (myValue: the values of the output catchment grid).
class ScratchDatabase {
 public:
  // Copies the skeleton over VatWork.mdb and opens the copy. A skeleton that is no database,
  // lacks either table or holds rows is refused with an error naming it.
  explicit ScratchDatabase(const RunContext& ctx);
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  // Inserts are collected in one transaction from the first insert to Commit.
  void Import(std::int64_t value, std::optional<std::int64_t> comid,
              const std::optional<std::string>& prodUnit);
  void AddVatValue(std::int64_t value);
  void Commit();

  // One row of the join of tblVat and tblImport on the value: every import row whose value the
  // output grid has, by ascending value and, within a value, in list order.
  struct JoinRow {
    std::int64_t value = 0;
    std::optional<std::int64_t> comid;
    std::optional<std::string> prodUnit;
  };
  // Runs the join; Next gives its rows one at a time, false after the last.
  void StartJoin();
  bool NextJoinRow(JoinRow& row);

  void Close();

 private:
  void Begin();

  std::filesystem::path m_skeleton;
  std::unique_ptr<db::Connection> m_db;
  std::unique_ptr<db::Statement> m_import;
  std::unique_ptr<db::Statement> m_vat;
  std::unique_ptr<db::Statement> m_join;
  bool m_inTransaction = false;
};

}  // namespace rivanet
