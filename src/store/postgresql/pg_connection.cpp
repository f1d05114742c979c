#include "store/postgresql/pg_connection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/error.h"
#include "store/connection_string.h"
#include "store/database_error.h"
#include "store/settings.h"
#include "store/sql_lexer.h"
#include "store/statement_cache.h"

namespace ostrand::store {
namespace {

// Type oids of the built-in types whose values are not read as text.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700, kDate = 1082, kTimestamp = 1114,
              kTimestampTz = 1184;

struct ClearResult {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

struct FinishConnection {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};

// libpq's messages end in a line break and may span lines: one line.
std::string OneLine(const char* message) {
  std::string out;
  bool blank = false;
  for (const char* p = message ? message : ""; *p != '\0'; ++p) {
    const bool space = *p == '\n' || *p == '\r' || *p == '\t' || *p == ' ';
    if (space) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += *p;
  }
  return out;
}

// '?' placeholders (outside literals and comments) as $1, $2, ...
std::string NumberPlaceholders(std::string_view sql, int* count) {
  std::string out;
  out.reserve(sql.size() + 16);
  *count = 0;
  for (const SqlToken& t : TokenizeSql(sql)) {
    if (t.kind == SqlTokenKind::kPunct && t.text == "?") {
      out += '$';
      out += std::to_string(++*count);
    } else {
      out += t.text;
    }
  }
  return out;
}

// "...+01", "...-05:30": the zone of a timestamptz, which is dropped.
std::string_view WithoutZone(std::string_view text) {
  const std::size_t time = text.find(':');
  if (time == std::string_view::npos) return text;
  const std::size_t zone = text.find_first_of("+-", time);
  return zone == std::string_view::npos ? text : text.substr(0, zone);
}

Value IntegerOrText(std::string_view text) {
  std::int64_t i = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), i);
  if (error == std::errc() && end == text.data() + text.size()) return IntegerValue(i);
  return Value::Text(std::string(text));
}

// A prepared statement on the server; deallocated when the cache drops it
// while the connection lives.
class PreparedStatement {
 public:
  PreparedStatement(PGconn* const* conn, std::string name, int parameters)
      : conn_(conn), name_(std::move(name)), parameters_(parameters) {}
  PreparedStatement(PreparedStatement&& other) noexcept
      : conn_(std::exchange(other.conn_, nullptr)),
        name_(std::move(other.name_)),
        parameters_(other.parameters_) {}
  PreparedStatement& operator=(PreparedStatement&&) = delete;
  ~PreparedStatement() {
    if (conn_ != nullptr && *conn_ != nullptr && PQstatus(*conn_) == CONNECTION_OK &&
        PQtransactionStatus(*conn_) == PQTRANS_IDLE) {
      Result(PQexec(*conn_, ("DEALLOCATE " + name_).c_str()));
    }
  }

  const std::string& name() const { return name_; }
  int parameters() const { return parameters_; }

 private:
  PGconn* const* conn_;
  std::string name_;
  int parameters_;
};

class PgConnection final : public Connection {
 public:
  PgConnection(std::string name, PGconn* conn) : Connection(std::move(name)), conn_(conn) {}

  ~PgConnection() override {
    // Closing the connection drops its prepared statements with it.
    PGconn* const conn = conn_;
    conn_ = nullptr;
    statements_.Clear();
    PQfinish(conn);
  }

  Engine engine() const override { return Engine::kPostgresql; }

  RecordSet Query(std::string_view sql, std::span<const SqlParam> params) override {
    const Result result = Run(sql, params);
    const int columns = PQnfields(result.get());
    const int rows = PQntuples(result.get());
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) names.emplace_back(PQfname(result.get(), c));
    std::vector<std::vector<Value>> values(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
      std::vector<Value>& row = values[static_cast<std::size_t>(r)];
      row.reserve(static_cast<std::size_t>(columns));
      for (int c = 0; c < columns; ++c) row.push_back(ReadField(result.get(), r, c));
    }
    return RecordSet(std::move(names), std::move(values));
  }

  std::int64_t Execute(std::string_view sql, std::span<const SqlParam> params) override {
    const Result result = Run(sql, params);
    if (PQresultStatus(result.get()) == PGRES_TUPLES_OK) return PQntuples(result.get());
    const char* changed = PQcmdTuples(result.get());
    return changed != nullptr && *changed != '\0' ? std::atoll(changed) : 0;
  }

  void ExecuteScript(std::string_view script) override { Simple(std::string(script)); }

  void Begin() override { Simple("BEGIN"); }

  void Commit() override {
    const Result result = Simple("COMMIT");
    // COMMIT of a transaction that failed answers ROLLBACK.
    if (std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0) {
      throw DatabaseError::Statement("the transaction failed and was rolled back", "COMMIT");
    }
  }

  void Rollback() noexcept override {
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK &&
        PQtransactionStatus(conn_) != PQTRANS_IDLE) {
      Result(PQexec(conn_, "ROLLBACK"));
    }
  }

  bool IsUsable() override {
    if (broken() || PQstatus(conn_) != CONNECTION_OK) return false;
    // An idle connection hears nothing from the server (this program
    // listens for no notifications) unless the server shut down or dropped
    // it: anything to read means a new connection is due.
    pollfd fd{PQsocket(conn_), POLLIN, 0};
    if (::poll(&fd, 1, 0) != 0) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_used_ < kPoolPingAfterIdle) return true;
    const Result result(PQexec(conn_, ""));
    last_used_ = now;
    return PQresultStatus(result.get()) == PGRES_EMPTY_QUERY && PQstatus(conn_) == CONNECTION_OK;
  }

 private:
  // Prepares (or finds) the statement and runs it with the values as text.
  Result Run(std::string_view sql, std::span<const SqlParam> params) {
    last_used_ = std::chrono::steady_clock::now();
    const PreparedStatement* statement = statements_.Find(sql);
    if (statement == nullptr) statement = &statements_.Insert(sql, Prepare(sql));
    if (statement->parameters() != static_cast<int>(params.size())) {
      throw DatabaseError::Statement(std::to_string(params.size()) + " values for " +
                                         std::to_string(statement->parameters()) + " parameters",
                                     std::string(sql));
    }
    std::vector<std::string> texts(params.size());
    std::vector<const char*> values(params.size(), nullptr);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const SqlParam& p = params[i];
      switch (p.kind()) {
        case SqlParam::Kind::kNull:
          continue;
        case SqlParam::Kind::kInteger:
          texts[i] = std::to_string(p.integer());
          break;
        case SqlParam::Kind::kReal: {
          char buffer[32];
          const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, p.real());
          texts[i].assign(buffer, error == std::errc() ? end : buffer);
          break;
        }
        case SqlParam::Kind::kText:
          values[i] = p.text().c_str();
          continue;
        case SqlParam::Kind::kDate:
        case SqlParam::Kind::kTimestamp:
          texts[i] = DateParamText(p);
          break;
      }
      values[i] = texts[i].c_str();
    }
    Result result(PQexecPrepared(conn_, statement->name().c_str(), static_cast<int>(values.size()),
                                 values.data(), nullptr, nullptr, 0));
    Check(result.get(), sql);
    return result;
  }

  PreparedStatement Prepare(std::string_view sql) {
    int count = 0;
    const std::string text = NumberPlaceholders(sql, &count);
    std::string name = "ostrand_" + std::to_string(++prepared_);
    const Result result(PQprepare(conn_, name.c_str(), text.c_str(), 0, nullptr));
    Check(result.get(), sql);
    return PreparedStatement(&conn_, std::move(name), count);
  }

  Result Simple(const std::string& sql) {
    last_used_ = std::chrono::steady_clock::now();
    Result result(PQexec(conn_, sql.c_str()));
    Check(result.get(), sql);
    return result;
  }

  // Throws for a result that is no success: unavailable when the connection
  // is gone (and the connection broken), else the statement's failure.
  void Check(const PGresult* result, std::string_view sql) {
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY) {
      return;
    }
    if (result == nullptr || PQstatus(conn_) != CONNECTION_OK) {
      MarkBroken();
      throw DatabaseError::Unavailable("lost the connection to database '" + name() +
                                       "': " + OneLine(PQerrorMessage(conn_)));
    }
    const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const std::string reason = OneLine(primary ? primary : PQresultErrorMessage(result));
    // Class 08 is a connection failure, 57P a server shutting down.
    if (state != nullptr && (std::strncmp(state, "08", 2) == 0 || std::strncmp(state, "57P", 3) == 0)) {
      MarkBroken();
      throw DatabaseError::Unavailable("database '" + name() + "' is unavailable: " + reason);
    }
    throw DatabaseError::Statement(reason, std::string(sql));
  }

  static Value ReadField(const PGresult* result, int row, int column) {
    if (PQgetisnull(result, row, column)) return Value::Null();
    const std::string_view text(PQgetvalue(result, row, column),
                                static_cast<std::size_t>(PQgetlength(result, row, column)));
    switch (PQftype(result, column)) {
      case kInt2:
      case kInt4:
      case kInt8:
      case kOid:
        return IntegerOrText(text);
      case kNumeric: {
        if (text.find_first_of(".eE") == std::string_view::npos) return IntegerOrText(text);
        return Value::Double(std::strtod(std::string(text).c_str(), nullptr));
      }
      case kFloat4:
      case kFloat8:
        return Value::Double(std::strtod(std::string(text).c_str(), nullptr));
      case kBool:
        return Value::Bool(text == "t");
      case kDate:
      case kTimestamp:
      case kTimestampTz: {
        const std::string_view local =
            PQftype(result, column) == kTimestampTz ? WithoutZone(text) : text;
        if (const std::optional<DateTime> date = ReadStoredDateTime(local)) {
          return Value::Date(*date);
        }
        throw Error("column '" + std::string(PQfname(result, column)) + "' holds '" +
                    std::string(text) + "', which is not a date");
      }
      default:
        return Value::Text(std::string(text));
    }
  }

  PGconn* conn_;
  std::uint64_t prepared_ = 0;
  std::chrono::steady_clock::time_point last_used_ = std::chrono::steady_clock::now();
  // After conn_: statements are dropped before the connection closes.
  StatementCache<PreparedStatement> statements_;
};

void IgnoreNotice(void*, const char*) {}

}  // namespace

std::unique_ptr<Connection> OpenPostgresql(const std::string& uri) {
  const std::string name = RedactConnectionString(uri);
  const std::string timeout = std::to_string(kConnectTimeout.count());
  const std::string silence = std::to_string(kServerSilenceTimeout.count());
  // Values before dbname yield to the URI's own; those after it hold.
  const char* keywords[] = {"connect_timeout", "tcp_user_timeout", "application_name", "dbname",
                            "client_encoding", nullptr};
  const char* values[] = {timeout.c_str(), silence.c_str(), "ostrand", uri.c_str(), "UTF8",
                          nullptr};
  std::unique_ptr<PGconn, FinishConnection> conn(PQconnectdbParams(keywords, values, 1));
  if (!conn) throw DatabaseError::Unavailable("cannot connect to '" + name + "': out of memory");
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    throw DatabaseError::Unavailable("cannot connect to '" + name +
                                     "': " + OneLine(PQerrorMessage(conn.get())));
  }
  PQsetNoticeProcessor(conn.get(), &IgnoreNotice, nullptr);
  return std::make_unique<PgConnection>(name, conn.release());
}

}  // namespace ostrand::store
