#include "store/demo_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/error.h"
#include "core/text.h"
#include "store/connect.h"
#include "store/connection_string.h"
#include "store/schedule_tables.h"
#include "store/schema.h"

namespace ostrand::store {
namespace {

std::string SystemMessage(int error) { return std::strerror(error); }

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// A new empty file next to the target, removed (with its journal) when this
// object goes.
class TempFile {
 public:
  explicit TempFile(const std::string& target) {
    for (int attempt = 0;; ++attempt) {
      path_ = target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(attempt);
      const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        return;
      }
      if (errno != EEXIST || attempt == 100) {
        throw Error("cannot write the demo database '" + target + "': " + SystemMessage(errno));
      }
    }
  }
  ~TempFile() {
    ::unlink(path_.c_str());
    ::unlink((path_ + "-journal").c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

SqlParam Int(std::int64_t i) { return SqlParam::Integer(i); }
SqlParam Text(const std::string& text) { return SqlParam::Text(text); }
// An empty detail or addition is stored as NULL.
SqlParam TextOrNull(const std::string& text) {
  return text.empty() ? SqlParam::Null() : SqlParam::Text(text);
}

void WriteRows(Connection& db, const DemoData& data) {
  for (const DemoDuty& row : data.duties) {
    const std::array params{Int(row.id), Text(row.name)};
    db.Execute("INSERT INTO personDuty (dutyID, dutyName) VALUES (?, ?)", params);
  }
  for (const DemoPerson& row : data.persons) {
    const std::array params{Int(row.id), Text(row.name), Int(row.duty_id), Int(row.system_id)};
    db.Execute("INSERT INTO person (personID, personName, dutyID, systemID) VALUES (?, ?, ?, ?)",
               params);
  }
  for (const DemoPlaceKind& row : data.place_kinds) {
    const std::array params{Int(row.id), Text(row.name)};
    db.Execute("INSERT INTO planAddrType (planAddrTypeID, planAddrTypeName) VALUES (?, ?)",
               params);
  }
  for (const DemoPlace& row : data.places) {
    const std::array params{Int(row.id), Text(row.name), Int(row.kind_id)};
    db.Execute("INSERT INTO planAddr (planAddrID, planAddrName, planAddrTypeID) VALUES (?, ?, ?)",
               params);
  }
  // The plans keep their own ids; a server's id counter moves past them.
  if (db.engine() == Engine::kSqlServer) db.ExecuteScript("SET IDENTITY_INSERT personPlan ON");
  for (const DemoPlan& row : data.plans) {
    const std::array params{Int(row.id),
                            Int(row.person_id),
                            SqlParam::Timestamp(row.start),
                            SqlParam::Timestamp(row.end),
                            Int(row.kind_id),
                            Int(row.place_id),
                            TextOrNull(row.detail),
                            Int(row.type_id),
                            Text(row.content),
                            TextOrNull(row.addition),
                            Int(row.flag_id)};
    db.Execute(
        "INSERT INTO personPlan (planID, personID, planStartTime, planEndTime, planAddrTypeID, "
        "planAddrID, planAddrDetail, planTypeID, planContent, planAddition, planFlagID) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        params);
  }
  if (db.engine() == Engine::kSqlServer) db.ExecuteScript("SET IDENTITY_INSERT personPlan OFF");
  if (db.engine() == Engine::kPostgresql) {
    db.Query(
        "SELECT setval(pg_get_serial_sequence('personplan', 'planid'), "
        "(SELECT COALESCE(MAX(planID), 0) + 1 FROM personPlan), false)");
  }
}

// Puts the finished file in place of `path`. Without `replace`, a hard link
// claims the name only when it is free, so a file that appeared meanwhile
// is not overwritten; file systems without hard links fall back to a check
// and a rename.
void Publish(const std::string& file, const std::string& path, bool replace) {
  if (!replace) {
    if (::link(file.c_str(), path.c_str()) == 0) return;
    const int error = errno;
    if (error == EEXIST) throw Error("'" + path + "' already exists");
    if (error != EPERM && error != ENOTSUP && error != EXDEV && error != EMLINK) {
      throw Error("cannot write the demo database '" + path + "': " + SystemMessage(error));
    }
    if (Exists(path)) throw Error("'" + path + "' already exists");
  }
  if (std::rename(file.c_str(), path.c_str()) != 0) {
    throw Error("cannot write the demo database '" + path + "': " + SystemMessage(errno));
  }
}

void WriteDemoFile(const DemoData& data, const std::string& path, bool replace,
                   const std::function<void(Connection& db)>& finish) {
  if (!replace && Exists(path)) throw Error("'" + path + "' already exists");
  TempFile file(path);
  {
    std::unique_ptr<Connection> db;
    try {
      db = Connect("sqlite:" + file.path(), OpenMode::kCreate);
      CreateSchema(*db);
    } catch (const Error& e) {
      throw Error("cannot write the demo database '" + path + "': " + e.what());
    }
    Transaction transaction(*db);
    WriteRows(*db, data);
    if (finish) finish(*db);
    transaction.Commit();
  }
  // After a hard link ~TempFile removes the temporary name; after a rename
  // it is gone already.
  Publish(file.path(), path, replace);
}

void WriteDemoServer(const DemoData& data, const std::string& target, bool replace,
                     const std::function<void(Connection& db)>& finish) {
  const std::unique_ptr<Connection> db = Connect(target);
  if (!MissingTables(*db).empty()) CreateSchema(*db);
  Transaction transaction(*db);
  // Emptied in reverse order of filling.
  for (std::size_t i = kScheduleTables.size(); i-- > 0;) {
    const std::string table(kScheduleTables[i].name);
    if (db->Query("SELECT COUNT(*) FROM " + table).Field(std::size_t{0}).ToNumber() == 0) continue;
    if (!replace) {
      throw Error("database '" + db->name() + "' already holds rows in " + table +
                  "; use --force to replace its schedule data");
    }
    db->Execute("DELETE FROM " + table);
  }
  WriteRows(*db, data);
  if (finish) finish(*db);
  transaction.Commit();
}

}  // namespace

void WriteDemoDatabase(const DemoData& data, const std::string& target, bool replace,
                       const std::function<void(Connection& db)>& finish) {
  const std::string_view text = TrimWhitespace(target);
  if (StartsWithNoCase(text, "sqlite:")) {
    const ConnectionTarget parsed = ParseConnectionString(text);
    if (parsed.in_memory) throw Error("a demo database needs a file, not ':memory:'");
    WriteDemoFile(data, parsed.database, replace, finish);
  } else if (StartsWithNoCase(text, "postgresql://") || StartsWithNoCase(text, "postgres://") ||
             StartsWithNoCase(text, "odbc:")) {
    WriteDemoServer(data, target, replace, finish);
  } else {
    WriteDemoFile(data, target, replace, finish);
  }
}

}  // namespace ostrand::store
