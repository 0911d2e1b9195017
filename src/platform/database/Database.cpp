#include "platform/database/Database.h"

#include <sqlite3.h>

#include <climits>
#include <utility>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"

namespace rivanet::db {
namespace {

AppError SqliteError(int rc, const std::string& message, const std::filesystem::path& file) {
  return AppError(rc, message + ": " + DisplayPath(file), ErrorScheme::Sqlite);
}

int SqlLength(std::string_view sql) {
  if (sql.size() > static_cast<std::size_t>(INT_MAX))
    throw AppError(kErrOverflow, "SQL text too long");
  return static_cast<int>(sql.size());
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Connection

Connection::Connection(const std::filesystem::path& file, OpenMode mode) : m_file(file) {
  int flags = SQLITE_OPEN_READONLY;
  if (mode == OpenMode::ReadWrite) flags = SQLITE_OPEN_READWRITE;
  if (mode == OpenMode::Create) flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(file.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    sqlite3_close(m_db);
    m_db = nullptr;
    throw SqliteError(rc, "Cannot open the database (" + message + ")", file);
  }
  sqlite3_extended_result_codes(m_db, 1);
}

Connection::~Connection() {
  if (m_db != nullptr) sqlite3_close_v2(m_db);
}

void Connection::Fail(int rc, std::string_view doing) const {
  const int code = m_db != nullptr ? sqlite3_extended_errcode(m_db) : rc;
  std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
  if (!doing.empty()) message = std::string(doing) + " (" + message + ")";
  throw SqliteError(code != SQLITE_OK ? code : rc, message, m_file);
}

void Connection::Execute(std::string_view sql) {
  const std::string text(sql);
  char* error = nullptr;
  const int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    const std::string message = error != nullptr ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw SqliteError(sqlite3_extended_errcode(m_db), message, m_file);
  }
}

Statement Connection::Prepare(std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v2(m_db, sql.data(), SqlLength(sql), &statement, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "Cannot prepare statement");
  return Statement(*this, statement);
}

std::int64_t Connection::Changes() const { return sqlite3_changes64(m_db); }

void Connection::Close() {
  if (m_db == nullptr) return;
  const int rc = sqlite3_close(m_db);
  if (rc != SQLITE_OK) Fail(rc, "Cannot close the database");
  m_db = nullptr;
}

// ---------------------------------------------------------------------------------------
// Statement

Statement::Statement(Connection& connection, sqlite3_stmt* statement)
    : m_connection(&connection), m_statement(statement) {}

Statement::Statement(Statement&& other) noexcept
    : m_connection(other.m_connection), m_statement(std::exchange(other.m_statement, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(m_statement);
    m_connection = other.m_connection;
    m_statement = std::exchange(other.m_statement, nullptr);
  }
  return *this;
}

Statement::~Statement() { sqlite3_finalize(m_statement); }

void Statement::Fail(int rc) const { m_connection->Fail(rc, ""); }

void Statement::Bind(int index, std::int64_t value) {
  if (const int rc = sqlite3_bind_int64(m_statement, index, value); rc != SQLITE_OK) Fail(rc);
}

void Statement::Bind(int index, double value) {
  if (const int rc = sqlite3_bind_double(m_statement, index, value); rc != SQLITE_OK) Fail(rc);
}

void Statement::Bind(int index, std::string_view text) {
  const int rc =
      sqlite3_bind_text(m_statement, index, text.data(), SqlLength(text), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) Fail(rc);
}

void Statement::BindBlob(int index, std::string_view bytes) {
  const int rc =
      sqlite3_bind_blob(m_statement, index, bytes.data(), SqlLength(bytes), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) Fail(rc);
}

void Statement::BindNull(int index) {
  if (const int rc = sqlite3_bind_null(m_statement, index); rc != SQLITE_OK) Fail(rc);
}

bool Statement::Step() {
  const int rc = sqlite3_step(m_statement);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(rc);
}

void Statement::Reset() {
  // The outcome of the last step was already reported by Step.
  sqlite3_reset(m_statement);
}

int Statement::ColumnCount() const { return sqlite3_column_count(m_statement); }

std::string Statement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(m_statement, column);
  return name != nullptr ? name : "";
}

ColumnType Statement::Type(int column) const {
  switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
      return ColumnType::Integer;
    case SQLITE_FLOAT:
      return ColumnType::Real;
    case SQLITE_TEXT:
      return ColumnType::Text;
    case SQLITE_BLOB:
      return ColumnType::Blob;
    default:
      return ColumnType::Null;
  }
}

std::int64_t Statement::Int64(int column) const {
  return sqlite3_column_int64(m_statement, column);
}

double Statement::Real(int column) const { return sqlite3_column_double(m_statement, column); }

std::string Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
  if (text == nullptr) return {};
  return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)));
}

// ---------------------------------------------------------------------------------------
// Transaction

Transaction::Transaction(Connection& connection) : m_connection(connection) {
  m_connection.Execute("BEGIN");
}

Transaction::~Transaction() {
  if (!m_open) return;
  try {
    m_connection.Execute("ROLLBACK");
  } catch (const AppError&) {
    // SQLite has already rolled back when a statement failed hard enough to end the
    // transaction; there is nothing left to undo.
  }
}

void Transaction::Commit() {
  m_connection.Execute("COMMIT");
  m_open = false;
}

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace rivanet::db
