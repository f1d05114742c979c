#include "store/demo_database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/error.h"
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

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// "YYYY-MM-DD HH:MM:SS", the form the schema stores dates in.
std::string DateText(const DateTime& date) {
  const CivilDate civil = date.civil();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", civil.year, civil.month,
                civil.day, date.hour(), date.minute(), date.second());
  return text;
}

// Inserts rows through one prepared statement per table.
class RowWriter {
 public:
  RowWriter(sqlite3* db, const std::string& path) : db_(db), path_(path) {}

  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
  }

  Statement Prepare(const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr) != SQLITE_OK) Fail();
    return Statement(raw);
  }

  void BindInt(sqlite3_stmt* statement, int column, std::int64_t value) {
    if (sqlite3_bind_int64(statement, column, value) != SQLITE_OK) Fail();
  }
  // An empty text is stored as NULL when `empty_is_null`.
  void BindText(sqlite3_stmt* statement, int column, std::string_view text,
                bool empty_is_null = false) {
    const int result = empty_is_null && text.empty()
                           ? sqlite3_bind_null(statement, column)
                           : sqlite3_bind_text(statement, column, text.data(),
                                               static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (result != SQLITE_OK) Fail();
  }
  void Step(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) Fail();
    sqlite3_reset(statement);
  }

  [[noreturn]] void Fail() {
    throw Error("cannot write the demo database '" + path_ + "': " + sqlite3_errmsg(db_));
  }

 private:
  sqlite3* db_;
  const std::string& path_;
};

void WriteRows(const DemoData& data, const std::string& file, const std::string& path) {
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, CloseDatabase> db(raw);
  if (opened != SQLITE_OK) {
    throw Error("cannot write the demo database '" + path +
                "': " + (db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(opened)));
  }
  RowWriter writer(db.get(), path);
  writer.Exec("BEGIN");

  const Statement duty = writer.Prepare("INSERT INTO personDuty (dutyID, dutyName) VALUES (?, ?)");
  for (const DemoDuty& row : data.duties) {
    writer.BindInt(duty.get(), 1, row.id);
    writer.BindText(duty.get(), 2, row.name);
    writer.Step(duty.get());
  }
  const Statement person = writer.Prepare(
      "INSERT INTO person (personID, personName, dutyID, systemID) VALUES (?, ?, ?, ?)");
  for (const DemoPerson& row : data.persons) {
    writer.BindInt(person.get(), 1, row.id);
    writer.BindText(person.get(), 2, row.name);
    writer.BindInt(person.get(), 3, row.duty_id);
    writer.BindInt(person.get(), 4, row.system_id);
    writer.Step(person.get());
  }
  const Statement kind =
      writer.Prepare("INSERT INTO planAddrType (planAddrTypeID, planAddrTypeName) VALUES (?, ?)");
  for (const DemoPlaceKind& row : data.place_kinds) {
    writer.BindInt(kind.get(), 1, row.id);
    writer.BindText(kind.get(), 2, row.name);
    writer.Step(kind.get());
  }
  const Statement place = writer.Prepare(
      "INSERT INTO planAddr (planAddrID, planAddrName, planAddrTypeID) VALUES (?, ?, ?)");
  for (const DemoPlace& row : data.places) {
    writer.BindInt(place.get(), 1, row.id);
    writer.BindText(place.get(), 2, row.name);
    writer.BindInt(place.get(), 3, row.kind_id);
    writer.Step(place.get());
  }
  const Statement plan = writer.Prepare(
      "INSERT INTO personPlan (planID, personID, planStartTime, planEndTime, planAddrTypeID, "
      "planAddrID, planAddrDetail, planTypeID, planContent, planAddition, planFlagID) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  for (const DemoPlan& row : data.plans) {
    writer.BindInt(plan.get(), 1, row.id);
    writer.BindInt(plan.get(), 2, row.person_id);
    writer.BindText(plan.get(), 3, DateText(row.start));
    writer.BindText(plan.get(), 4, DateText(row.end));
    writer.BindInt(plan.get(), 5, row.kind_id);
    writer.BindInt(plan.get(), 6, row.place_id);
    writer.BindText(plan.get(), 7, row.detail, /*empty_is_null=*/true);
    writer.BindInt(plan.get(), 8, row.type_id);
    writer.BindText(plan.get(), 9, row.content);
    writer.BindText(plan.get(), 10, row.addition, /*empty_is_null=*/true);
    writer.BindInt(plan.get(), 11, row.flag_id);
    writer.Step(plan.get());
  }

  writer.Exec("COMMIT");
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

}  // namespace

void WriteDemoDatabase(const DemoData& data, const std::string& path, bool replace,
                       const std::function<void(const std::string& file)>& finish) {
  if (!replace && Exists(path)) throw Error("'" + path + "' already exists");
  TempFile file(path);
  try {
    CreateSqliteDatabase(file.path());
  } catch (const Error& e) {
    throw Error("cannot write the demo database '" + path + "': " + e.what());
  }
  WriteRows(data, file.path(), path);
  if (finish) finish(file.path());
  // After a hard link ~TempFile removes the temporary name; after a rename
  // it is gone already.
  Publish(file.path(), path, replace);
}

}  // namespace ostrand::store
