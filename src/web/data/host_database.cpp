#include "web/data/host_database.h"

#include <filesystem>
#include <limits>

#include "core/error.h"
#include "store/connection_string.h"

namespace ostrand::web {
namespace {

int CheckedSize(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw Error("text too long for the database");
  }
  return static_cast<int>(text.size());
}

}  // namespace

std::string SqlitePathOf(const std::string& connection_string) {
  const store::ConnectionTarget target = store::ParseConnectionString(connection_string);
  if (target.in_memory) {
    throw Error("the web host cannot serve an in-memory database; give a database file");
  }
  return target.database;
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db_, sql.data(), CheckedSize(sql), &statement_, nullptr) != SQLITE_OK) {
    throw Error("database error: " + std::string(sqlite3_errmsg(db_)));
  }
  if (statement_ == nullptr) throw Error("no statement in '" + std::string(sql) + "'");
}

Statement::~Statement() { sqlite3_finalize(statement_); }

Statement& Statement::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) {
    throw Error("database error: " + std::string(sqlite3_errmsg(db_)));
  }
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text(statement_, index, text.data(), CheckedSize(text), SQLITE_TRANSIENT) !=
      SQLITE_OK) {
    throw Error("database error: " + std::string(sqlite3_errmsg(db_)));
  }
  return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::string>& text) {
  return text ? Bind(index, std::string_view(*text)) : BindNull(index);
}

Statement& Statement::BindNull(int index) {
  if (sqlite3_bind_null(statement_, index) != SQLITE_OK) {
    throw Error("database error: " + std::string(sqlite3_errmsg(db_)));
  }
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw Error("database error: " + std::string(sqlite3_errmsg(db_)));
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(statement_, column); }

std::string Statement::Text(int column) const {
  const unsigned char* raw = sqlite3_column_text(statement_, column);
  if (raw == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(raw),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

std::optional<std::string> Statement::OptionalText(int column) const {
  if (IsNull(column)) return std::nullopt;
  return Text(column);
}

HostDatabase::HostDatabase(const std::string& connection_string) {
  const std::string path = SqlitePathOf(connection_string);
  // Opening a missing path would create an empty database; report it instead.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw Error("database file '" + path + "' does not exist");
  }
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  db_.reset(raw);  // SQLite hands out a handle even on failure
  if (opened != SQLITE_OK) {
    throw Error("cannot open database '" + path +
                "': " + (db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(opened)));
  }
  // Writers of other requests or processes hold the lock only briefly.
  sqlite3_busy_timeout(db_.get(), 5000);
  try {
    Execute("SELECT count(*) FROM sqlite_master");
  } catch (const Error& e) {
    throw Error("cannot open database '" + path + "': " + e.what());
  }
}

HostDatabase::~HostDatabase() = default;

void HostDatabase::Execute(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string reason = message ? message : sqlite3_errmsg(db_.get());
    sqlite3_free(message);
    throw Error("database error: " + reason);
  }
}

HostDatabase::Transaction::Transaction(HostDatabase& db) : db_(db) {
  db_.Execute("BEGIN IMMEDIATE");
}

HostDatabase::Transaction::~Transaction() {
  if (!done_) sqlite3_exec(db_.db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void HostDatabase::Transaction::Commit() {
  db_.Execute("COMMIT");
  done_ = true;
}

}  // namespace ostrand::web
