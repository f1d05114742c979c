// HostDatabase: the web host's own connection to the schedule database, for
// what the component does not do: sign-in accounts, person lists for the
// pickers, and the day editor's reads and writes. Every statement binds its
// values as parameters; no SQL text is ever built from request data.
//
// Each request opens its own HostDatabase (SQLite connections are cheap), so
// nothing is shared between threads. A HostDatabase is used by one thread at
// a time.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web {

// The SQLite file that a connection string names, in the forms the plan
// store accepts ("sqlite:PATH" or a path ending in ".db"). Throws Error for
// an empty string, another form, or an in-memory database (which each
// connection would see empty).
std::string SqlitePathOf(const std::string& connection_string);

// One prepared statement. Bind indexes start at 1, column indexes at 0.
// Every failure throws Error with the database's message.
class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, std::string_view text);
  // Binds the text, or NULL when there is none.
  Statement& Bind(int index, const std::optional<std::string>& text);
  Statement& BindNull(int index);

  // Runs to the next row: true when a row is ready, false when done.
  bool Step();
  // Runs a statement that returns no rows.
  void Run() {
    while (Step()) {
    }
  }

  bool IsNull(int column) const;
  std::int64_t Int(int column) const;
  // The column's text; NULL reads as the empty text.
  std::string Text(int column) const;
  // The column's text, or nothing for NULL.
  std::optional<std::string> OptionalText(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

class HostDatabase {
 public:
  // Opens the existing database that the connection string names. Throws
  // Error naming it when it is missing, unreadable or not a database.
  explicit HostDatabase(const std::string& connection_string);
  ~HostDatabase();
  HostDatabase(const HostDatabase&) = delete;
  HostDatabase& operator=(const HostDatabase&) = delete;

  Statement Prepare(std::string_view sql) { return Statement(db_.get(), sql); }
  // Runs SQL without parameters or rows (schema statements, pragmas).
  void Execute(const std::string& sql);
  // Rows changed by the last INSERT, UPDATE or DELETE.
  int Changes() const { return sqlite3_changes(db_.get()); }
  std::int64_t LastInsertId() const { return sqlite3_last_insert_rowid(db_.get()); }

  // A write transaction: BEGIN IMMEDIATE on construction, ROLLBACK on
  // destruction unless Commit ran. Throws Error when the database stays
  // locked past the busy timeout.
  class Transaction {
   public:
    explicit Transaction(HostDatabase& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

   private:
    HostDatabase& db_;
    bool done_ = false;
  };

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
  };
  std::unique_ptr<sqlite3, Close> db_;
};

}  // namespace ostrand::web
