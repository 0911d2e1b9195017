#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace rivanet::db {

// SQL on SQLite. Values always travel as bound parameters; names that must appear in a
// statement go through QuoteIdentifier. Every SQLite failure throws AppError with SQLite's
// extended result code, its message and the database file (source "SQLite").

enum class OpenMode { ReadOnly, ReadWrite, Create };

enum class ColumnType { Integer, Real, Text, Blob, Null };

class Connection;

// A prepared statement. Step() runs it; for a query each true result is one row, read with
// the Column functions, rows coming forward only.
class Statement {
 public:
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  ~Statement();

  // Parameters are numbered from 1, as in SQL's "?".
  void Bind(int index, std::int64_t value);
  void Bind(int index, double value);
  void Bind(int index, std::string_view text);
  // Bytes stored and compared as they are (a BLOB), whatever they hold.
  void BindBlob(int index, std::string_view bytes);
  void BindNull(int index);
  // Runs to the next row: true when one is ready, false when the statement is done.
  bool Step();
  // Ready for another run with new values (bindings kept until re-bound).
  void Reset();

  int ColumnCount() const;
  std::string ColumnName(int column) const;
  ColumnType Type(int column) const;
  std::int64_t Int64(int column) const;
  double Real(int column) const;
  std::string Text(int column) const;

 private:
  friend class Connection;
  Statement(Connection& connection, sqlite3_stmt* statement);
  [[noreturn]] void Fail(int rc) const;

  Connection* m_connection;
  sqlite3_stmt* m_statement;
};

class Connection {
 public:
  Connection(const std::filesystem::path& file, OpenMode mode);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs statements that take no values and return no rows (DDL, BEGIN, PRAGMA ...).
  void Execute(std::string_view sql);
  Statement Prepare(std::string_view sql);
  // Rows changed by the last INSERT, UPDATE or DELETE.
  std::int64_t Changes() const;
  // Closes; errors surface here instead of in the destructor.
  void Close();

  const std::filesystem::path& File() const { return m_file; }

 private:
  friend class Statement;
  [[noreturn]] void Fail(int rc, std::string_view doing) const;

  std::filesystem::path m_file;
  sqlite3* m_db = nullptr;
};

// A transaction that rolls back unless Commit() was called.
class Transaction {
 public:
  explicit Transaction(Connection& connection);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& m_connection;
  bool m_open = true;
};

// `name` as an SQL identifier in double quotes, inner quotes doubled: safe for any text.
std::string QuoteIdentifier(std::string_view name);

}  // namespace rivanet::db
